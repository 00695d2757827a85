#include "FontConfiguration.h"

#include <clocale>
#include <dlfcn.h>
#include <thread>

namespace {

// Joined at the latest when the program ends: a start that hands over to the running
// instance may end before anything waits for it.
struct Reading {
    std::thread thread;
    ~Reading() {
        if (thread.joinable())
            thread.join();
    }
} reading;

} // namespace

void StartReadingFontConfiguration() {
    // Qt's font database loads the configuration with FcInit when first asked, once; FcInit
    // is safe on any thread, and what it loads stays for the process. Looked up rather than
    // linked: fontconfig is there only as the GUI library's own dependency.
    using Init = int (*)();
    const auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init || reading.thread.joinable())
        return;
    // The locale the application object will set, set before the thread reads numbers in
    // it: setting it while another thread reads it is not safe.
    std::setlocale(LC_ALL, "");
    reading.thread = std::thread(init);
}

void WaitForFontConfiguration() {
    if (reading.thread.joinable())
        reading.thread.join();
}
