// ortova-tool: the office companion of the terminal. It checks a directory text file before it
// is sent, converts between the text and binary forms exactly as the terminal does, looks goods
// up the way data entry does, and lists the numbered directory files of a folder.

#include "AppState.h"
#include "Codec.h"
#include "ConvFile.h"
#include "DescrRegistry.h"
#include "DescrSections.h"
#include "DocKind.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "FindPlan.h"
#include "Index.h"
#include "IopMsg.h"
#include "OfficeCsv.h"
#include "Reconcile.h"
#include "RecordFile.h"
#include "Report.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "WgtMemDescr.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

enum Exit { Done = 0, Partly = 1, Failed = 2 };

void out(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void err(const QString& text)
{
    std::fflush(stdout);
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

const char* const MainHelp = "Использование: ortova-tool [--system ФАЙЛ] КОМАНДА [ПАРАМЕТРЫ]\n"
                             "\n"
                             "Спутник терминала Ortova для офиса: проверка и преобразование справочников,\n"
                             "поиск товара и списки файлов так же, как это делает терминал.\n"
                             "\n"
                             "Команды:\n"
                             "  check   проверить текстовый файл справочника, ничего не записывая\n"
                             "  to-bin  текстовый файл -> двоичная таблица\n"
                             "  to-text двоичная таблица -> текстовый файл (прежний сохраняется как .old)\n"
                             "  find    найти товар по коду или штрихкоду\n"
                             "  list    список пронумерованных файлов справочников в папке\n"
                             "  weight  разобрать весовой штрихкод по справочнику весовых кодов\n"
                             "  import  файл CSV из таблицы или учётной программы -> текстовый файл справочника\n"
                             "  export  двоичная таблица -> файл CSV для программы электронных таблиц\n"
                             "  reconcile сличительная ведомость: счёт терминалов против учёта (Excel или CSV)\n"
                             "\n"
                             "Общие параметры:\n"
                             "  --system ФАЙЛ  файл настроек системы (по умолчанию OrtSystem.ini в текущей папке)\n"
                             "  --help         эта справка; «ortova-tool КОМАНДА --help» - справка по команде\n"
                             "\n"
                             "Код завершения: 0 - всё выполнено, 1 - есть ошибочные строки или товар не найден,\n"
                             "2 - ошибка в параметрах, в файле настроек или при работе с файлами.\n";

const char* const CheckHelp = "Использование: ortova-tool check --table РАСШ [--strict] ТЕКСТ\n"
                              "\n"
                              "Преобразует текстовый файл в памяти по описанию таблицы РАСШ (TVR, PRH, RES, WGT, TAB)\n"
                              "и ничего не записывает. Для каждой ошибочной строки выводит\n"
                              "  строка N поле M \"текст\"\n"
                              "как в журнале терминала (текст длиннее 64 байт обрезается и отмечается «...»),\n"
                              "затем итог: число правильных и ошибочных строк. Поле, чьё правило длины\n"
                              "(STANDART, MINIMAL, MAXLEN) даёт при to-text текст, который не читается обратно\n"
                              "в то же значение, называется предупреждением в потоке ошибок.\n"
                              "Предупреждения о строках:\n"
                              "  строка N поле M: длиннее W знаков, обрезается\n"
                              "(терминал сохранит только первые W знаков), а в справочнике товаров (TVR) -\n"
                              "повторы кода или штрихкода с номерами обеих строк (второй товар по этому\n"
                              "ключу не найдётся никогда).\n"
                              "  --strict  предупреждения считаются ошибками\n"
                              "Код завершения: 0 - все строки правильные, 1 - есть ошибочные, 2 - ошибка.\n";

const char* const ToBinHelp = "Использование: ortova-tool to-bin --table РАСШ ТЕКСТ ДВОИЧНЫЙ\n"
                              "\n"
                              "Преобразует текстовый файл в двоичную таблицу так же, как терминал, байт в байт.\n"
                              "Ошибочные строки пропускаются и выводятся в виде «строка N поле M \"текст\"».\n"
                              "Прежняя таблица заменяется только полностью записанной новой.\n"
                              "Текстовый и двоичный файл должны быть разными файлами.\n"
                              "Код завершения: 0 - все строки записаны, 1 - есть пропущенные строки, 2 - ошибка.\n";

const char* const ToTextHelp = "Использование: ortova-tool to-text --table РАСШ ДВОИЧНЫЙ ТЕКСТ\n"
                               "\n"
                               "Преобразует двоичную таблицу в текстовый файл так же, как терминал, байт в байт.\n"
                               "Прежний текстовый файл сохраняется под именем ТЕКСТ.old; новый записывается\n"
                               "рядом и заменяет прежний только целиком. Файлы должны быть разными.\n"
                               "Код завершения: 0 - выполнено, 2 - ошибка.\n";

const char* const FindHelp
    = "Использование: ortova-tool find --dir ПАПКА [--order code|code-bar|bar-code] [--receipt] КЛЮЧ\n"
      "\n"
      "Ищет товар так же, как ввод данных на терминале: в справочнике товаров папки через\n"
      "файлы Bar.ndx и Code.ndx и их упорядоченные копии Bar.sorted.ndx и Code.sorted.ndx\n"
      "(создаёт и обновляет их, как терминал; поиск по упорядоченной копии читает несколько\n"
      "страниц при любом размере справочника), а с --receipt - в приходной накладной,\n"
      "без индексных файлов.\n"
      "  --order code      только по коду (по умолчанию)\n"
      "  --order code-bar  по коду, затем по штрихкоду\n"
      "  --order bar-code  по штрихкоду, затем по коду\n"
      "Ключ длиннее поля кода всегда ищется по штрихкоду; ключ длиннее поля штрихкода\n"
      "не находится (он не обрезается до длины поля).\n"
      "Выводит номер записи (с 0) и саму запись строкой текстового файла.\n"
      "Код завершения: 0 - найден, 1 - не найден, 2 - ошибка.\n";

const char* const ListHelp = "Использование: ortova-tool list --dir ПАПКА --kind 1|2|3|4 [--changed]\n"
                             "\n"
                             "Выводит строки списка файлов, как их видит выбор справочника на терминале:\n"
                             "1 - товары (_TVR.BIN), 2 - приход (_PRH.BIN), 3 - остатки (_RES.BIN),\n"
                             "4 - весовые коды (_WGT.BIN).\n"
                             "  --changed  отмечать «+» файлы с признаком изменения (как при EnCaseChanged)\n"
                             "Код завершения: 0 - выполнено, 2 - ошибка.\n";

const char* const WeightHelp = "Использование: ortova-tool weight [--system ФАЙЛ] ВЕСОВЫЕ_КОДЫ ШТРИХКОД\n"
                               "\n"
                               "Разбирает весовой штрихкод так же, как ввод данных на терминале: пробует по порядку\n"
                               "записи двоичного справочника весовых кодов (таблица WGT, например Vescod_wgt.bin)\n"
                               "и выводит две строки: ключ товара (код или штрихкод) и вес в тысячных (граммах).\n"
                               "Код завершения: 0 - разобран, 1 - ни одна запись не подходит, 2 - ошибка.\n";

const char* const ImportHelp
    = "Использование: ortova-tool import --table РАСШ [--system ФАЙЛ] [--map ПОЛЕ=СТОЛБЕЦ,...] [--header]\n"
      "                 [--delimiter ЗНАК] [--encoding utf-8|windows-1251] [--strict] CSV ТЕКСТ\n"
      "\n"
      "Превращает файл CSV (кавычки по RFC 4180) в текстовый файл таблицы РАСШ: разделитель\n"
      "и порядок полей берутся из описания таблицы, каждое значение проверяется так же,\n"
      "как при преобразовании на терминале.\n"
      "  --header          первая строка называет столбцы; без --map - именами полей таблицы\n"
      "  --map ПОЛЕ=СТОЛБЕЦ,...  столбец поля: имя из строки заголовка или номер с 1;\n"
      "                    без --map и без --header столбцы идут в порядке полей таблицы\n"
      "  --delimiter ЗНАК  ; или , (или tab); по умолчанию - чаще встречающийся из ; и ,\n"
      "                    в первой строке\n"
      "  --encoding        utf-8 (по умолчанию, с меткой BOM или без) или windows-1251\n"
      "Суммы и количества - с запятой или точкой, группы цифр могут разделяться пробелами;\n"
      "суммы дополняются до двух знаков. Даты ДД.ММ.ГГ, ДД.ММ.ГГГГ или ГГГГ-ММ-ДД, время ЧЧ:ММ[:СС].\n"
      "Поле без столбца записывается пустым, если тип поля это допускает. Пустые строки пропускаются.\n"
      "Каждая ошибочная строка выводится как\n"
      "  строка N поле M \"текст\": причина\n"
      "где N - номер строки, как в программе электронных таблиц (заголовок - строка 1), M - номер\n"
      "столбца. Буквы, которых нет в Windows-1251, - ошибка, а не «?».\n"
      "Текст длиннее поля выводится предупреждением «строка N поле M: длиннее W знаков, обрезается»,\n"
      "повтор кода или штрихкода в справочнике товаров (TVR) - с номерами обеих строк.\n"
      "  --strict          предупреждения считаются ошибками: ничего не записывается\n"
      "Текстовый файл записывается рядом под временным именем и заменяет прежний, только если\n"
      "все строки правильные; иначе прежний остаётся как был.\n"
      "Код завершения: 0 - записан, 1 - есть ошибочные строки (ничего не записано), 2 - ошибка.\n";

const char* const ExportHelp
    = "Использование: ortova-tool export --table РАСШ [--system ФАЙЛ] [--delimiter ЗНАК] [--decimal-comma]\n"
      "                 [--excel-ru] [--titles] ДВОИЧНЫЙ CSV\n"
      "\n"
      "Записывает двоичную таблицу РАСШ в файл CSV для программы электронных таблиц: UTF-8 с меткой\n"
      "BOM, разделитель - запятая, первая строка - имена полей, затем по строке на запись.\n"
      "Суммы и количества - с точкой и всеми знаками (12.50, 1.500), тексты без дополняющих\n"
      "пробелов, значения с разделителем, кавычкой или переводом строки - в кавычках.\n"
      "  --delimiter ЗНАК  другой разделитель: ; или , (или tab)\n"
      "  --decimal-comma   суммы и количества с запятой (12,50)\n"
      "  --excel-ru        ; и запятая в числах: файл открывается двойным щелчком в русской\n"
      "                    программе электронных таблиц\n"
      "  --titles          заголовки столбцов из вида таблицы (ПРОСМОТР) вместо имён полей;\n"
      "                    с именами полей (по умолчанию) файл читается обратно командой import\n"
      "Файл записывается рядом под временным именем и заменяет прежний только целиком.\n"
      "Код завершения: 0 - выполнено, 2 - ошибка.\n";

const char* const ReconcileHelp
    = "Использование: ortova-tool reconcile [--system ФАЙЛ] (--goods ТОВАРЫ | --receipt НАКЛАДНАЯ)\n"
      "                 [--label ИМЯ=РЕЗУЛЬТАТ ...] [--delimiter ЗНАК] [--decimal-comma] [--excel-ru]\n"
      "                 РЕЗУЛЬТАТ... -o ОТЧЁТ\n"
      "\n"
      "Сличительная ведомость: складывает счёт всех РЕЗУЛЬТАТОВ (таблицы остатков RES терминалов,\n"
      "двоичные *_res.bin или текстовые .res) по товарам справочника ТОВАРЫ (TVR, *_tvr.bin или\n"
      ".tvr; его поле REST - количество по учёту) или накладной (PRH: ожидаемое против принятого).\n"
      "Строка результата находится по коду, строка без кода (весовой или незнакомый штрихкод) -\n"
      "по штрихкоду; не найденные строки перечисляются отдельно («Нет в справочнике»).\n"
      "Столбцы: Код, Штрихкод, Наименование, Цена, Учёт, Факт, Факт <метка> на каждый результат,\n"
      "Разница (факт - учёт), Сумма разницы (разница x цена, до копейки: половина копейки\n"
      "округляется от нуля). Строки по возрастанию кода; в отчёт входят товары, которые посчитаны\n"
      "или числятся по учёту. Итоги: суммы по учёту и по факту, недостача и излишки на сумму,\n"
      "число позиций с недостачей, с излишками и без расхождений, строк нет в справочнике.\n"
      "  --label ИМЯ=РЕЗУЛЬТАТ  метка столбца результата (по умолчанию - имя файла без\n"
      "                    расширения, а у одинаковых имён - имя папки, например 01 и 02)\n"
      "  -o ОТЧЁТ          .xlsx - книга Excel (листы «Сличительная ведомость» и «Нет в справочнике»),\n"
      "                    .csv - файл CSV: --delimiter, --decimal-comma, --excel-ru как у export\n"
      "Заголовки отчёта - всегда названия столбцов выше (--titles ничего не меняет).\n"
      "Отчёт записывается рядом под временным именем и заменяет прежний только целиком; если хоть\n"
      "один файл не прочитан, ничего не записывается.\n"
      "Код завершения: 0 - записан, 1 - есть ошибочные строки в текстовой таблице, 2 - ошибка.\n";

// The command line after the command word: options with values, flags and positional words.
struct Args {
    QString systemFile = QStringLiteral("OrtSystem.ini");
    QString command;
    QString table;
    QString dir;
    QString order;
    QString kind;
    QString map;
    QString delimiter;
    QString encoding;
    QString goods;
    QString receiptFile; // reconcile's --receipt, which takes a file
    QString report;
    QStringList labels;
    bool decimalComma = false;
    bool excelRu = false;
    bool titles = false;
    bool strict = false;
    bool header = false;
    bool receipt = false;
    bool changed = false;
    bool help = false;
    QStringList words;
    QString error;
};

Args parse(const QStringList& arguments)
{
    Args a;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        auto value = [&](QString& target) {
            if (i + 1 >= arguments.size()) {
                a.error = QStringLiteral("Нет значения у параметра %1").arg(arg);
                return;
            }
            target = arguments[++i];
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            a.help = true;
        else if (arg == QLatin1String("--system"))
            value(a.systemFile);
        else if (arg == QLatin1String("--table"))
            value(a.table);
        else if (arg == QLatin1String("--dir"))
            value(a.dir);
        else if (arg == QLatin1String("--order"))
            value(a.order);
        else if (arg == QLatin1String("--kind"))
            value(a.kind);
        else if (arg == QLatin1String("--map"))
            value(a.map);
        else if (arg == QLatin1String("--delimiter"))
            value(a.delimiter);
        else if (arg == QLatin1String("--encoding"))
            value(a.encoding);
        else if (arg == QLatin1String("--header"))
            a.header = true;
        else if (arg == QLatin1String("--receipt") && a.command == QLatin1String("reconcile"))
            value(a.receiptFile);
        else if (arg == QLatin1String("--receipt"))
            a.receipt = true;
        else if (arg == QLatin1String("--goods"))
            value(a.goods);
        else if (arg == QLatin1String("-o"))
            value(a.report);
        else if (arg == QLatin1String("--label")) {
            QString label;
            value(label);
            a.labels << label;
        } else if (arg == QLatin1String("--decimal-comma"))
            a.decimalComma = true;
        else if (arg == QLatin1String("--excel-ru"))
            a.excelRu = true;
        else if (arg == QLatin1String("--titles"))
            a.titles = true;
        else if (arg == QLatin1String("--strict"))
            a.strict = true;
        else if (arg == QLatin1String("--changed"))
            a.changed = true;
        else if (arg.startsWith(QLatin1String("--")))
            a.error = QStringLiteral("Неизвестный параметр %1").arg(arg);
        else if (a.command.isEmpty())
            a.command = arg;
        else
            a.words << arg;
        if (!a.error.isEmpty())
            break;
    }
    return a;
}

int usage(const QString& message)
{
    err(QStringLiteral("ortova-tool: %1\nСправка: ortova-tool --help\n").arg(message));
    return Failed;
}

// The settings and descriptors the terminal would have after reading its system file.
struct Settings {
    AppState state;
    DescrRegistry registry;
    QString file;
    SettingsId id; // of the file as it was before it was read
    bool idKnown = false;
};

std::unique_ptr<Settings> readSettings(const QString& file)
{
    if (!QFileInfo(file).isFile()) {
        err(QStringLiteral("ortova-tool: нет файла настроек %1\n").arg(file));
        return nullptr;
    }
    auto settings = std::make_unique<Settings>();
    settings->file = file;
    settings->idKnown = settingsIdOf(QFile::encodeName(file).constData(), settings->id);
    if (!getIniFile(file, settings->state, settings->registry)) {
        err(QStringLiteral("ortova-tool: ошибки в файле настроек %1 (терминал с ним не запустится)\n").arg(file));
        return nullptr;
    }
    return settings;
}

TableDescr* describedTable(Settings& settings, const QString& extension)
{
    TableDescr* table = settings.registry.table(fromUi(extension.toUpper()));
    if (!table) {
        usage(QStringLiteral("неизвестная таблица %1 (TVR, PRH, RES, WGT или TAB)").arg(extension));
        return nullptr;
    }
    if (table->fields.isEmpty()) {
        err(QStringLiteral("ortova-tool: таблица %1 не описана в файле настроек\n").arg(extension.toUpper()));
        return nullptr;
    }
    return table;
}

void printBadLine(const QByteArray& report)
{
    out(toUi(report) + QLatin1Char('\n'));
}

// The exchange-log texts of the conversions ("Нет исходного файла", ...) are the messages shown.
void reportIopMessages()
{
    setIopSink([](const QByteArray& message) { err(QStringLiteral("ortova-tool: %1\n").arg(toUi(message))); });
}

// A table whose own text does not read back loses data on its way through the office: each such
// field is named with its type and rule.
void warnRulesThatDoNotReadBack(const TableDescr& table)
{
    for (const FieldDescr& f : table.fields) {
        if (ruleReadsBack(f))
            continue;
        err(QStringLiteral("ortova-tool: предупреждение: поле %1 (%2, %3): текст, который пишет to-text, "
                           "не читается обратно в то же значение\n")
                .arg(toUi(f.name), toUi(fieldTypeWord(f.type)), toUi(lenRuleWord(f.rule))));
    }
}

// Converting a file onto itself would destroy the source: refused before anything is touched.
bool refuseSameFile(const QString& command, const QString& source, const QString& target)
{
    if (!sameFile(source, target))
        return false;
    err(QStringLiteral("ortova-tool: %1: исходный и результирующий файл - один и тот же файл (%2 и %3)\n")
            .arg(command, source, target));
    return true;
}

int check(Settings& settings, const Args& a)
{
    if (a.table.isEmpty() || a.words.size() != 1)
        return usage(QStringLiteral("check: нужны --table РАСШ и один текстовый файл"));
    const TableDescr* table = describedTable(settings, a.table);
    if (!table)
        return Failed;
    warnRulesThatDoNotReadBack(*table);
    ConvFile conv;
    conv.setBadLineHandler(printBadLine);
    qint64 good = 0;
    qint64 bad = 0;
    qint64 warned = 0; // lines with a warning
    KeyRepeats repeats(*table);
    const char tab = table->tabChar;
    const ConvFile::Status status = conv.readText(
        a.words[0], *table,
        [&](const char* record, const char* line, qsizetype size, qint64 number) {
            // The terminal keeps a field's width of a longer text or code and drops the rest.
            bool cut = false;
            qsizetype pos = 0;
            for (int i = 0; i < table->fields.size() && pos <= size; ++i) {
                const char* hit = static_cast<const char*>(std::memchr(line + pos, tab, size_t(size - pos)));
                const qsizetype end = hit ? hit - line : size;
                const FieldDescr& f = table->fields[i];
                if (f.type == FieldType::Text || f.type == FieldType::Digit) {
                    const QByteArray item = QByteArray::fromRawData(line + pos, end - pos).trimmed();
                    if (item.size() > f.width) {
                        out(overlongLine(number, i + 1, f.width) + u'\n');
                        cut = true;
                    }
                }
                pos = end + 1;
            }
            warned += cut ? 1 : 0;
            if (!cut || !a.strict)
                repeats.add(record, number);
            return true;
        },
        good, bad);
    if (status == ConvFile::Status::FileError) {
        err(QFileInfo::exists(a.words[0]) ? QStringLiteral("ortova-tool: файл %1 не прочитан\n").arg(a.words[0])
                                          : QStringLiteral("ortova-tool: нет файла %1\n").arg(a.words[0]));
        return Failed;
    }
    qint64 lastRow = -1;
    for (const KeyRepeats::Repeat& r : repeats.repeats()) {
        out(KeyRepeats::reportLine(*table, r, r.field + 1) + u'\n');
        warned += r.row != lastRow ? 1 : 0;
        lastRow = r.row;
    }
    if (a.strict) {
        good -= warned;
        bad += warned;
    }
    if (warned > 0 && !a.strict)
        out(QStringLiteral("Предупреждений: %1\n").arg(warned));
    out(QStringLiteral("Строк: %1, правильных: %2, с ошибками: %3\n").arg(good + bad).arg(good).arg(bad));
    return status == ConvFile::Status::Ok && bad == 0 ? Done : Partly;
}

int toBin(Settings& settings, const Args& a)
{
    if (a.table.isEmpty() || a.words.size() != 2)
        return usage(QStringLiteral("to-bin: нужны --table РАСШ, текстовый и двоичный файлы"));
    TableDescr* table = describedTable(settings, a.table);
    if (!table)
        return Failed;
    if (refuseSameFile(QStringLiteral("to-bin"), a.words[0], a.words[1]))
        return Failed;
    ConvFile conv;
    conv.setBadLineHandler(printBadLine);
    const ConvFile::Status status = conv.convertToBin(a.words[0], a.words[1], *table);
    if (status == ConvFile::Status::FileError) {
        err(!QFileInfo::exists(a.words[0]) ? QStringLiteral("ortova-tool: нет файла %1\n").arg(a.words[0])
                                           : QStringLiteral("ortova-tool: преобразование не выполнено, таблица %1 "
                                                            "оставлена как была\n")
                                                 .arg(a.words[1]));
        return Failed;
    }
    out(QStringLiteral("Записей: %1\n").arg(table->recordCount));
    return status == ConvFile::Status::Ok ? Done : Partly;
}

int toText(Settings& settings, const Args& a)
{
    if (a.table.isEmpty() || a.words.size() != 2)
        return usage(QStringLiteral("to-text: нужны --table РАСШ, двоичный и текстовый файлы"));
    const TableDescr* table = describedTable(settings, a.table);
    if (!table)
        return Failed;
    if (refuseSameFile(QStringLiteral("to-text"), a.words[0], a.words[1]))
        return Failed;
    reportIopMessages();
    ConvFile conv;
    const bool ok = conv.ConvertToTxt(a.words[0], a.words[1], *table);
    setIopSink({});
    if (!ok)
        return Failed;
    out(QStringLiteral("Записей: %1\n").arg(recordCountOf(a.words[0], *table)));
    return Done;
}

// Leaves what the quick lookup of the office's ortova-tool needs to know of these settings, when
// the settings file is still the one that was read.
void keepFindPlan(const Settings& settings, const TableDescr& goods)
{
    SettingsId now;
    if (!settings.idKnown || !tableLayoutOk(goods) || !settingsIdOf(QFile::encodeName(settings.file).constData(), now)
        || !(now == settings.id))
        return;
    FindPlan plan;
    plan.settings = now;
    plan.goodsFile = QFile::encodeName(binFileName(goods)).toStdString();
    plan.recordLength = goods.recordLength;
    plan.tabChar = goods.tabChar;
    plan.codeField = keyFieldIndex(goods, KeyRole::Code);
    plan.barField = keyFieldIndex(goods, KeyRole::Bar);
    for (const FieldDescr& f : goods.fields)
        plan.fields.push_back({ qint32(f.type), qint32(f.rule), f.length, f.width, f.offset });
    writeFindPlan(plan);
}

int find(Settings& settings, const Args& a)
{
    if (a.dir.isEmpty() || a.words.size() != 1)
        return usage(QStringLiteral("find: нужны --dir ПАПКА и ключ"));
    SearchOrder order = SearchOrder::CodeOnly;
    if (a.order.isEmpty() || a.order == QLatin1String("code"))
        order = SearchOrder::CodeOnly;
    else if (a.order == QLatin1String("code-bar"))
        order = SearchOrder::CodeThenBar;
    else if (a.order == QLatin1String("bar-code"))
        order = SearchOrder::BarThenCode;
    else
        return usage(QStringLiteral("find: порядок поиска code, code-bar или bar-code, а не %1").arg(a.order));

    const TableDescr* goods = describedTable(settings, QStringLiteral("TVR"));
    if (!goods)
        return Failed;
    const TableDescr* doc = settings.registry.table(QByteArrayLiteral("PRH"));
    if (!doc || (a.receipt && doc->fields.isEmpty())) {
        err(QStringLiteral("ortova-tool: таблица PRH не описана в файле настроек\n"));
        return Failed;
    }
    const QDir dir(a.dir);
    const QString goodsBin = dir.filePath(binFileName(*goods));
    const QString docBin = dir.filePath(binFileName(*doc));
    const QString searched = a.receipt ? docBin : goodsBin;
    if (!QFileInfo(searched).isFile()) {
        err(QStringLiteral("ortova-tool: нет файла %1\n").arg(searched));
        return Failed;
    }
    const TableDescr& table = a.receipt ? *doc : *goods;
    if (keyFieldIndex(table, KeyRole::Code) < 0) {
        err(QStringLiteral("ortova-tool: в таблице %1 нет полей CODE и BAR\n").arg(toUi(table.extension)));
        return Failed;
    }

    if (!a.receipt)
        keepFindPlan(settings, *goods);

    QByteArray record;
    const QByteArray key = fromUi(a.words[0]);
    const TvrHit hit = searchTvr(key, order, a.receipt, goodsBin, *goods, docBin, *doc, record);
    if (hit.record == SearchFileError) {
        err(QStringLiteral("ortova-tool: файл %1 не прочитан\n").arg(searched));
        return Failed;
    }
    if (hit.record < 0) {
        err(QStringLiteral("Не найдено: %1\n").arg(toUi(reportText(key))));
        return Partly;
    }
    QByteArray line = recordToLine(table, record);
    line.chop(2);
    out(QString::number(hit.record) + QLatin1Char('\n') + toUi(line) + QLatin1Char('\n'));
    return Done;
}

int list(Settings& settings, const Args& a)
{
    bool numeric = false;
    const int code = a.kind.toInt(&numeric);
    const std::optional<DocKind> kind = numeric ? docKindOf(code) : std::nullopt;
    if (a.dir.isEmpty() || !kind || !a.words.isEmpty())
        return usage(QStringLiteral("list: нужны --dir ПАПКА и --kind 1, 2, 3 или 4"));
    if (!QFileInfo(a.dir).isDir()) {
        err(QStringLiteral("ortova-tool: нет папки %1\n").arg(a.dir));
        return Failed;
    }
    const TableDescr* tab = describedTable(settings, QStringLiteral("TAB"));
    const TableDescr* kindTable
        = tab ? describedTable(settings, QString::fromLatin1(docKindExtension(*kind))) : nullptr;
    if (!kindTable)
        return Failed;
    QByteArray lines = fileListLines(a.dir, *tab, *kind, kindTable->workName, kindTable->recordLength, a.changed);
    lines.replace("\r\n", "\n");
    out(toUi(lines));
    return Done;
}

int weight(Settings& settings, const Args& a)
{
    if (a.words.size() != 2)
        return usage(QStringLiteral("weight: нужны файл весовых кодов и штрихкод"));
    const TableDescr* table = describedTable(settings, QStringLiteral("WGT"));
    if (!table)
        return Failed;
    const QString& file = a.words[0];
    // The terminal takes a missing file for an empty directory; here it is a mistyped name.
    if (!QFileInfo(file).isFile()) {
        err(QStringLiteral("ortova-tool: нет файла %1\n").arg(file));
        return Failed;
    }
    WgtMemDescr codes;
    if (!codes.load(*table, file)) {
        err(QStringLiteral("ortova-tool: весовые коды %1 не загружены:\n").arg(file));
        for (const QByteArray& line : codes.loadReport())
            err(QStringLiteral("  %1\n").arg(toUi(line).trimmed()));
        return Failed;
    }
    QByteArray text = fromUi(a.words[1]);
    const qint32 grams = codes.match(text);
    if (grams < 0) {
        err(QStringLiteral("Нет подходящего весового кода: %1\n").arg(a.words[1]));
        return Partly;
    }
    out(toUi(text) + QLatin1Char('\n') + QString::number(grams) + QLatin1Char('\n'));
    return Done;
}

CsvOutput csvOutput()
{
    return CsvOutput { out, err };
}

int importTable(Settings& settings, const Args& a)
{
    if (a.table.isEmpty() || a.words.size() != 2)
        return usage(QStringLiteral("import: нужны --table РАСШ, файл CSV и текстовый файл"));
    CsvImportOptions options;
    options.strict = a.strict;
    options.map = a.map;
    options.header = a.header;
    const QString refused = setCsvOptions(a.delimiter, a.encoding, options);
    if (!refused.isEmpty())
        return usage(QStringLiteral("import: ") + refused);
    const TableDescr* table = describedTable(settings, a.table);
    if (!table || refuseSameFile(QStringLiteral("import"), a.words[0], a.words[1]))
        return Failed;
    return importCsv(*table, options, a.words[0], a.words[1], csvOutput());
}

// The column titles of the table's views, one per field (the field's name where no view titles
// it): the browsing view first, then the others.
QList<QByteArray> columnTitles(Settings& settings, const TableDescr& table)
{
    QList<QByteArray> titles;
    for (const FieldDescr& f : table.fields)
        titles << f.name;
    QList<bool> titled(table.fields.size(), false);
    QList<const ViewDescr*> views;
    if (const ViewDescr* browse = settings.registry.view(table.extension, fromUi(QStringLiteral("ПРОСМОТР"))))
        views << browse;
    for (int slot = 0; slot < DescrRegistry::ViewSlots; ++slot)
        if (!views.contains(&settings.registry.viewAt(slot)))
            views << &settings.registry.viewAt(slot);
    for (const ViewDescr* view : views) {
        if (view->tableExtension != table.extension)
            continue;
        for (const ColumnDescr& c : view->columns) {
            const int i = table.fieldIndex(c.fieldName);
            if (i >= 0 && !titled[i] && !c.title.trimmed().isEmpty()) {
                titles[i] = c.title.trimmed();
                titled[i] = true;
            }
        }
    }
    return titles;
}

int exportTable(Settings& settings, const Args& a)
{
    if (a.table.isEmpty() || a.words.size() != 2)
        return usage(QStringLiteral("export: нужны --table РАСШ, двоичный файл и файл CSV"));
    CsvDialect dialect;
    const QString refused = setCsvDialect(a.delimiter, a.decimalComma, a.excelRu, dialect);
    if (!refused.isEmpty())
        return usage(QStringLiteral("export: ") + refused);
    const TableDescr* table = describedTable(settings, a.table);
    if (!table || refuseSameFile(QStringLiteral("export"), a.words[0], a.words[1]))
        return Failed;
    return exportCsv(*table, a.words[0], a.words[1], dialect,
        a.titles ? columnTitles(settings, *table) : QList<QByteArray>(), csvOutput());
}

int reconcileCounts(Settings& settings, const Args& a)
{
    if (a.goods.isEmpty() == a.receiptFile.isEmpty() || a.report.isEmpty() || (a.words.isEmpty() && a.labels.isEmpty()))
        return usage(QStringLiteral("reconcile: нужны --goods ТОВАРЫ или --receipt НАКЛАДНАЯ, результаты и -o ОТЧЁТ"));
    if (!a.report.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)
        && !a.report.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return usage(QStringLiteral("reconcile: отчёт - файл .xlsx или .csv, а не %1").arg(a.report));
    ReconcileRequest request;
    const QString refused = setCsvDialect(a.delimiter, a.decimalComma, a.excelRu, request.dialect);
    if (!refused.isEmpty())
        return usage(QStringLiteral("reconcile: ") + refused);
    // The results as given, then those named only by a label.
    // One file under two spellings (or a link) would be counted twice.
    auto same = [](const QString& x, const QString& y) { return x == y || sameFile(x, y); };
    QStringList files;
    for (const QString& f : a.words) {
        for (const QString& before : files)
            if (same(before, f))
                return usage(QStringLiteral("reconcile: результат %1 указан дважды (%2)").arg(f, before));
        files << f;
    }
    QList<QPair<QString, QString>> named;
    for (const QString& l : a.labels) {
        const qsizetype eq = l.indexOf(u'=');
        if (eq <= 0 || eq + 1 >= l.size())
            return usage(QStringLiteral("reconcile: --label ИМЯ=РЕЗУЛЬТАТ, а не «%1»").arg(l));
        const QString file = l.mid(eq + 1);
        named.append({ l.left(eq), file });
        if (std::none_of(files.cbegin(), files.cend(), [&](const QString& f) { return same(f, file); }))
            files << file;
    }
    const QList<QString> labels = defaultLabels(files);
    for (int i = 0; i < files.size(); ++i) {
        ReconcileResult r { files[i], labels[i] };
        for (const auto& [name, file] : named)
            if (same(file, files[i]))
                r.label = name;
        for (const ReconcileResult& before : request.sources)
            if (before.label == r.label)
                return usage(QStringLiteral("reconcile: метка %1 у двух результатов (%2 и %3); задайте --label")
                                 .arg(r.label, before.file, r.file));
        request.sources << r;
    }
    const QString book = a.goods.isEmpty() ? a.receiptFile : a.goods;
    for (const ReconcileResult& r : request.sources)
        if (refuseSameFile(QStringLiteral("reconcile"), r.file, a.report))
            return Failed;
    if (refuseSameFile(QStringLiteral("reconcile"), book, a.report))
        return Failed;
    request.book = describedTable(settings, a.goods.isEmpty() ? QStringLiteral("PRH") : QStringLiteral("TVR"));
    request.results = request.book ? describedTable(settings, QStringLiteral("RES")) : nullptr;
    if (!request.results)
        return Failed;
    request.bookFile = book;
    request.report = a.report;
    return reconcile(request, csvOutput());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const Args a = parse(app.arguments());
    if (!a.error.isEmpty())
        return usage(a.error);

    struct Command {
        const char* name;
        const char* help;
        int (*run)(Settings&, const Args&);
    };
    static const Command commands[] = {
        { "check", CheckHelp, check },
        { "to-bin", ToBinHelp, toBin },
        { "to-text", ToTextHelp, toText },
        { "find", FindHelp, find },
        { "list", ListHelp, list },
        { "weight", WeightHelp, weight },
        { "import", ImportHelp, importTable },
        { "export", ExportHelp, exportTable },
        { "reconcile", ReconcileHelp, reconcileCounts },
    };
    if (a.command.isEmpty()) {
        if (a.help) {
            out(QString::fromUtf8(MainHelp));
            return Done;
        }
        return usage(QStringLiteral("не указана команда"));
    }
    for (const Command& c : commands) {
        if (a.command != QLatin1String(c.name))
            continue;
        if (a.help) {
            out(QString::fromUtf8(c.help));
            return Done;
        }
        std::unique_ptr<Settings> settings = readSettings(a.systemFile);
        if (!settings)
            return Failed;
        return c.run(*settings, a);
    }
    return usage(QStringLiteral("неизвестная команда %1").arg(a.command));
}
