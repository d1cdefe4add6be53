#include "tests/support/Sheets.h"

#include <locale.h>

#include <regex>

#include "tests/support/ChildProcess.h"

namespace testing_support {

std::string DecimalCommaLocaleMissing() {
    const locale_t locale = ::newlocale(LC_ALL_MASK, kDecimalCommaLocale, locale_t{});
    if (locale) {
        ::freelocale(locale);
        return {};
    }
    return std::string("the locale ") + kDecimalCommaLocale +
           " is not installed; scripts/setup.sh generates it (locale-gen)";
}

DecimalCommaLocale::DecimalCommaLocale() {
    if (const char* before = ::setlocale(LC_ALL, nullptr))
        m_before = before;
    ::setlocale(LC_ALL, "");
}

DecimalCommaLocale::~DecimalCommaLocale() {
    ::setlocale(LC_ALL, m_before.c_str());
}

std::string FirstSheetXml(const std::string& path) {
    const TempDir scratch;
    const ProgramRun run =
        RunProgram("/usr/bin/unzip", {"-p", path, "xl/worksheets/sheet1.xml"}, scratch.Path());
    return run.exitStatus == 0 ? run.out : std::string();
}

std::map<std::string, std::string> SheetCells(const std::string& xml) {
    static const std::regex kCell(R"re(<c r="([A-Z]+[0-9]+)"[^>]*>(.*?)</c>)re");
    static const std::regex kContent(R"re(<(?:v|t)(?: [^>]*)?>([^<]*)</(?:v|t)>)re");
    std::map<std::string, std::string> cells;
    for (auto c = std::sregex_iterator(xml.begin(), xml.end(), kCell); c != std::sregex_iterator();
         ++c) {
        const std::string inner = (*c)[2];
        std::smatch content;
        cells[(*c)[1]] = std::regex_search(inner, content, kContent) ? content[1].str() : "";
    }
    return cells;
}

std::string CellOf(const std::map<std::string, std::string>& cells, const std::string& ref) {
    const auto found = cells.find(ref);
    return found == cells.end() ? "(no cell)" : found->second;
}

}  // namespace testing_support
