#include "XlsxWriterLibrary.h"

#include "platform/LibraryOnFirstUse.h"

namespace {

// The version built against: its calls are the ones compiled in.
constexpr const char* kLibrary = "libxlsxwriter.so." LXW_SOVERSION;

#define QUVAR_RESOLVE(name) ResolveCall(library, #name, calls.name)

bool Load(XlsxWriterCalls& calls) {
    void* library = LoadLibraryForGood(kLibrary);
    return QUVAR_RESOLVE(workbook_new) && QUVAR_RESOLVE(workbook_add_worksheet) &&
           QUVAR_RESOLVE(workbook_close) && QUVAR_RESOLVE(worksheet_write_number) &&
           QUVAR_RESOLVE(worksheet_write_string) && QUVAR_RESOLVE(lxw_strerror);
}

} // namespace

const XlsxWriterCalls* XlsxWriter() {
    return CallsOnFirstUse<XlsxWriterCalls, Load>();
}
