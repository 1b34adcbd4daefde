#pragma once

class QLabel;

// The screens' widths were chosen for the terminal's narrow system font; with a wider desktop font
// a label's text is squeezed (font stretch, never below half) rather than cut off. Each line of a
// multi-line text must fit.
void fitLabelToWidth(QLabel* label);
