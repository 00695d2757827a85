#pragma once
// libxlsxwriter, loaded when a list is first saved as ".xlsx" rather than at the program's
// start: every library loaded at start makes the start slower, and most sessions never
// write a workbook.

#include <xlsxwriter.h>

// The calls the workbook writer makes, by their own names.
struct XlsxWriterCalls {
    decltype(&::workbook_new) workbook_new = nullptr;
    decltype(&::workbook_add_worksheet) workbook_add_worksheet = nullptr;
    decltype(&::workbook_close) workbook_close = nullptr;
    decltype(&::worksheet_write_number) worksheet_write_number = nullptr;
    decltype(&::worksheet_write_string) worksheet_write_string = nullptr;
    decltype(&::lxw_strerror) lxw_strerror = nullptr;
};

// The calls, loaded on the first call (thread-safe); nullptr when the library or one of its
// calls is missing.
const XlsxWriterCalls* XlsxWriter();
