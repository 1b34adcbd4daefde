#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The quick `find` of ortova-tool, in plain C++ and POSIX so that the program the office runs
// starts without loading Qt. Only the full tool reads and checks the settings file; when it has,
// it leaves a find plan in the user's cache folder: the settings file's identity and the goods
// table's layout taken from it. The quick path answers only from a plan whose settings file is
// unchanged and from a sorted key file that holds for the goods table as it is now; anything else
// is handed to the full tool.

// What identifies the settings file's contents without reading them.
struct SettingsId {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const SettingsId& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
};
// False when the path names no regular file.
bool settingsIdOf(const char* path, SettingsId& id);

struct PlanField {
    int32_t type = 0; // the values of FieldType
    int32_t rule = 0; // the values of LenRule
    int32_t length = 0;
    int32_t width = 0;
    int32_t offset = 0;
};

struct FindPlan {
    SettingsId settings;
    std::string goodsFile; // the goods table's file name in the folder, as the file system has it
    int32_t recordLength = 0;
    char tabChar = ',';
    int32_t codeField = -1; // the fields serving as code and barcode
    int32_t barField = -1;
    std::vector<PlanField> fields;
};

// The plan file of a settings file: $XDG_CACHE_HOME/ortova (~/.cache/ortova) "find-DEV-INODE".
std::string findPlanPath(const SettingsId& id);
// Replaces the plan file; false when it could not be written (the quick path is then not taken).
bool writeFindPlan(const FindPlan& plan);
// The plan for that settings file, when there is one for exactly this identity and it is sound.
bool readFindPlan(const SettingsId& id, FindPlan& plan);

// The goods record as a line of its text file, as the full tool prints it: UTF-8, no line end.
// False when a byte has no character (the full tool then decides).
bool recordText(const FindPlan& plan, const char* record, std::string& utf8);

struct QuickAnswer {
    int exitCode = 0;
    std::string out;
    std::string err;
};
// Answers `ortova-tool ... find ...` (argv as given to the program) when it can do so with
// certainty; false hands the whole command to the full tool.
bool quickFind(int argc, const char* const* argv, QuickAnswer& answer);
