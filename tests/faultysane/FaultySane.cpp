// A SANE backend for the tests of the scanner library's supervision: one grey device
// ("faulty:0") whose driver misbehaves on demand. SANE's dll backend loads it from
// LD_LIBRARY_PATH when "faulty" is listed in dll.conf. The line "fault KIND" in faulty.conf
// (in SANE_CONFIG_DIR) chooses the misbehaviour; the file is read again at each call, so a
// test can change it between scans. A driver that hangs says so in faulty.hanging there.
//   none         a good 100 x 200 picture, pixel (x, y) = (3x + 5y) mod 256
//   hang-start   sane_start never returns
//   hang-read    sane_read never returns after part of the page
//   hang-cancel  sane_cancel in the middle of a page never returns
// Each of them reads slowly, so that the first part of the page is seen.
//   crash-read   sane_read crashes (SIGSEGV) after part of the page
//   fail-read    sane_read fails (SANE_STATUS_IO_ERROR) after part of the page, and
//                sane_cancel then never returns
//   hang-list    sane_get_devices never returns
//   crash-list   sane_get_devices crashes (SIGSEGV)
//   hang-open    sane_open never returns
// and for an option named after the kind ("fault hang-set br-x"):
//   hang-set     setting it never returns
//   crash-set    setting it crashes (SIGSEGV)
//   fail-set     setting it fails (SANE_STATUS_IO_ERROR)

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int width = 100, height = 200;
constexpr int pageBytes = width * height;
constexpr int partOfPage = pageBytes / 4;

std::string configFile(const char *name)
{
    const char *dir = std::getenv("SANE_CONFIG_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

// The kind of fault, and for a fault in setting an option, its name in option.
std::string fault(std::string *option = nullptr)
{
    std::ifstream conf(configFile("faulty.conf"));
    std::string word, kind = "none", name;
    while (conf >> word)
        if (word == "fault") {
            conf >> kind;
            if (kind.size() > 4 && kind.compare(kind.size() - 4, 4, "-set") == 0)
                conf >> name;
        }
    if (option)
        *option = name;
    return kind;
}

// Hangs for good, after leaving faulty.hanging in SANE_CONFIG_DIR for the test to see.
[[noreturn]] void hang()
{
    std::ofstream(configFile("faulty.hanging")) << ::getpid() << "\n";
    for (;;)
        ::pause();
}

[[noreturn]] void crash()
{
    std::raise(SIGSEGV);
    std::abort();
}

SANE_Device device{"0", "Vistoramo", "Fehlerscanner", "virtual device"};
const SANE_Device *deviceList[] = {&device, nullptr};
SANE_String_Const modes[] = {"Gray", nullptr};
constexpr SANE_Option_Descriptor edgeOption(const char *name, const char *title, const char *description)
{
    return {name,
            title,
            description,
            SANE_TYPE_FIXED,
            SANE_UNIT_MM,
            sizeof(SANE_Word),
            SANE_CAP_SOFT_DETECT | SANE_CAP_SOFT_SELECT,
            SANE_CONSTRAINT_RANGE,
            {nullptr}};
}

SANE_Option_Descriptor descriptors[] = {
    {SANE_NAME_NUM_OPTIONS,
     SANE_TITLE_NUM_OPTIONS,
     SANE_DESC_NUM_OPTIONS,
     SANE_TYPE_INT,
     SANE_UNIT_NONE,
     sizeof(SANE_Word),
     SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_NONE,
     {nullptr}},
    {"mode",
     "Scan mode",
     "Selects the scan mode.",
     SANE_TYPE_STRING,
     SANE_UNIT_NONE,
     8,
     SANE_CAP_SOFT_DETECT | SANE_CAP_SOFT_SELECT,
     SANE_CONSTRAINT_STRING_LIST,
     {nullptr}},
    // The scan area: strict, as some drivers are: a value off the steps is refused, not
    // rounded. The page is the same whatever area is set.
    edgeOption("br-x", "Bottom-right x", "Right edge of the scan area."),
    edgeOption("tl-x", "Top-left x", "Left edge of the scan area."),
    edgeOption("tl-y", "Top-left y", "Top edge of the scan area."),
    edgeOption("br-y", "Bottom-right y", "Bottom edge of the scan area."),
};
const SANE_Range rightEdges{SANE_FIX(0), SANE_FIX(200), SANE_FIX(2.5)};
constexpr int firstEdge = 2, edgeCount = 4;
SANE_Word edges[edgeCount] = {SANE_FIX(200), SANE_FIX(0), SANE_FIX(0), SANE_FIX(200)};
constexpr int optionCount = sizeof descriptors / sizeof descriptors[0];

int sent = 0;
bool scanning = false;

} // namespace

#pragma GCC visibility push(default)
extern "C" {

#define FAULTY(name) sane_faulty_##name

SANE_Status FAULTY(init)(SANE_Int *version, SANE_Auth_Callback)
{
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 0);
    descriptors[1].constraint.string_list = modes;
    for (int i = firstEdge; i < firstEdge + edgeCount; ++i)
        descriptors[i].constraint.range = &rightEdges;
    return SANE_STATUS_GOOD;
}

void FAULTY(exit)() { }

SANE_Status FAULTY(get_devices)(const SANE_Device ***list, SANE_Bool)
{
    const std::string kind = fault();
    if (kind == "hang-list")
        hang();
    if (kind == "crash-list")
        crash();
    *list = deviceList;
    return SANE_STATUS_GOOD;
}

SANE_Status FAULTY(open)(SANE_String_Const name, SANE_Handle *handle)
{
    if (name && *name && std::strcmp(name, device.name) != 0)
        return SANE_STATUS_INVAL;
    if (fault() == "hang-open")
        hang();
    *handle = &device;
    return SANE_STATUS_GOOD;
}

void FAULTY(close)(SANE_Handle) { }

const SANE_Option_Descriptor *FAULTY(get_option_descriptor)(SANE_Handle, SANE_Int option)
{
    return option >= 0 && option < optionCount ? &descriptors[option] : nullptr;
}

SANE_Status FAULTY(control_option)(SANE_Handle, SANE_Int option, SANE_Action action, void *value, SANE_Int *info)
{
    if (info)
        *info = 0;
    if (std::string name; action == SANE_ACTION_SET_VALUE && option > 0 && option < optionCount) {
        const std::string kind = fault(&name);
        if (name == descriptors[option].name) {
            if (kind == "hang-set")
                hang();
            if (kind == "crash-set")
                crash();
            if (kind == "fail-set")
                return SANE_STATUS_IO_ERROR;
        }
    }
    const bool edge = option >= firstEdge && option < firstEdge + edgeCount;
    if (action == SANE_ACTION_SET_VALUE && edge) {
        const SANE_Word v = *static_cast<SANE_Word *>(value);
        if (v < rightEdges.min || v > rightEdges.max || (v - rightEdges.min) % rightEdges.quant != 0)
            return SANE_STATUS_INVAL;
        edges[option - firstEdge] = v;
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_GET_VALUE)
        return option == 1 ? SANE_STATUS_GOOD : SANE_STATUS_INVAL;
    if (option == 0)
        *static_cast<SANE_Word *>(value) = optionCount;
    else if (option == 1)
        std::strcpy(static_cast<char *>(value), "Gray");
    else if (edge)
        *static_cast<SANE_Word *>(value) = edges[option - firstEdge];
    else
        return SANE_STATUS_INVAL;
    return SANE_STATUS_GOOD;
}

SANE_Status FAULTY(get_parameters)(SANE_Handle, SANE_Parameters *p)
{
    *p = {SANE_FRAME_GRAY, SANE_TRUE, width, width, height, 8};
    return SANE_STATUS_GOOD;
}

SANE_Status FAULTY(start)(SANE_Handle)
{
    if (fault() == "hang-start")
        hang();
    sent = 0;
    scanning = true;
    return SANE_STATUS_GOOD;
}

SANE_Status FAULTY(read)(SANE_Handle, SANE_Byte *data, SANE_Int max, SANE_Int *length)
{
    *length = 0;
    if (sent >= pageBytes) {
        scanning = false;
        return SANE_STATUS_EOF;
    }
    const std::string kind = fault();
    int chunk = 1000;
    if (kind != "none") { // slowly, so that the first part of the page is seen
        chunk = 100;
        ::usleep(20000);
    }
    if (sent >= partOfPage && kind == "hang-read")
        hang();
    if (sent >= partOfPage && kind == "crash-read")
        crash();
    if (sent >= partOfPage && kind == "fail-read")
        return SANE_STATUS_IO_ERROR;
    const int n = std::min({chunk, max, pageBytes - sent});
    for (int i = 0; i < n; ++i) {
        const int x = (sent + i) % width, y = (sent + i) / width;
        data[i] = static_cast<SANE_Byte>((3 * x + 5 * y) & 0xff);
    }
    sent += n;
    *length = n;
    return SANE_STATUS_GOOD;
}

void FAULTY(cancel)(SANE_Handle)
{
    if (scanning && (fault() == "hang-cancel" || fault() == "fail-read"))
        hang();
    scanning = false;
}

SANE_Status FAULTY(set_io_mode)(SANE_Handle, SANE_Bool non_blocking)
{
    return non_blocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status FAULTY(get_select_fd)(SANE_Handle, SANE_Int *)
{
    return SANE_STATUS_UNSUPPORTED;
}

} // extern "C"
#pragma GCC visibility pop
