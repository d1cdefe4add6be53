#pragma once

// Spreadsheet files as the tests read them back: the cells of the first sheet, from its XML
// (taken out with unzip), and the decimal-comma locale the tests write them under.

#include <map>
#include <optional>
#include <string>

#include "tools/peers/TestFiles.h"

namespace testing_support {

inline constexpr char kDecimalCommaLocale[] = "de_DE.UTF-8";

// Empty when the decimal-comma locale is installed; otherwise what to do about it, for a test to
// fail with.
std::string DecimalCommaLocaleMissing();

// While it lives, this process and the programs it starts run under the decimal-comma locale,
// set as Qt's application object sets a locale: from LANG. Check DecimalCommaLocaleMissing first.
class DecimalCommaLocale {
  public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

  private:
    ScopedEnv m_all{"LC_ALL", std::nullopt};
    ScopedEnv m_numeric{"LC_NUMERIC", std::nullopt};
    ScopedEnv m_lang{"LANG", kDecimalCommaLocale};
    std::string m_before;
};

// The XML of the first sheet of the .xlsx file at `path`; empty when it cannot be read.
std::string FirstSheetXml(const std::string& path);

// A sheet's cells by reference ("E2"), each as its XML holds it: a number's or a time's value as
// written ("12.345", "46365.62..."), a text's characters.
std::map<std::string, std::string> SheetCells(const std::string& xml);
// The cell `ref` of `cells`, or "(no cell)" when the sheet has none there.
std::string CellOf(const std::map<std::string, std::string>& cells, const std::string& ref);

}  // namespace testing_support
