/* The scanner library's C interface: what the program, the fake library of the tests and
 * the benchmarks call, and what the library exports. Plain C, so that any caller can use it. */
#ifndef VISTORAMO_SCAN_H
#define VISTORAMO_SCAN_H

#include <stdint.h>

#ifdef __cplusplus
#define VISTORAMO_SCAN_NOEXCEPT noexcept
extern "C" {
#else
#define VISTORAMO_SCAN_NOEXCEPT
#endif

/* File name of the scanner library in the program's directory. */
#define VISTORAMO_SCAN_LIBRARY "libvistoramo-scan.so"

/* Results of AcquireToFile. */
enum {
    VISTORAMO_ACQUIRED = 0, /* the image was acquired and written to the path */
    VISTORAMO_NOT_ACQUIRED = 1, /* cancelled, or the user gave up after an error */
    VISTORAMO_UNUSABLE = 2, /* no application object, or no path */
    VISTORAMO_INTERNAL_ERROR = 3 /* something failed inside the library */
};

/* Shows the source dialog, modal and owned by the window with the given id (0: none). */
void ChooseSource(uintptr_t owner) VISTORAMO_SCAN_NOEXCEPT;

/* Shows the acquisition dialog and scans one image into a BMP file at path (in the file
 * system's encoding); one of the results above. */
int16_t AcquireToFile(uintptr_t owner, const char *path) VISTORAMO_SCAN_NOEXCEPT;

/* The same entries as pointers, for those who load the library at run time. */
typedef void (*ChooseSourceFunction)(uintptr_t owner);
typedef int16_t (*AcquireToFileFunction)(uintptr_t owner, const char *path);

#ifdef __cplusplus
}
#endif

#endif
