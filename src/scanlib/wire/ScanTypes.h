#pragma once
// What the scanner core tells the dialogs: devices, options and the outcome of a scan, in
// the library's own types, so that nothing of SANE reaches the dialogs.

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <vector>

namespace scanlib {

struct DeviceInfo {
    QString name;
    QString vendor;
    QString model;
    QString type;
};

enum class OptionType { Bool, Int, Fixed, String, Button, Group };
enum class OptionUnit { None, Pixel, Bit, Mm, Dpi, Percent, Microsecond };
enum class Constraint { None, Range, WordList, StringList };

// One option as the device describes it, with its value when that can be read.
struct OptionInfo {
    int index = 0;
    QByteArray name;
    QByteArray title; // untranslated, as the backend gives it
    QByteArray description;
    OptionType type = OptionType::Int;
    OptionUnit unit = OptionUnit::None;
    int size = 0; // bytes of the value as the device keeps it
    bool isActive = true;
    bool isSettable = true;
    Constraint constraint = Constraint::None;
    double min = 0, max = 0, quant = 0; // range, in the option's own units
    std::vector<double> words; // word list
    std::vector<QByteArray> strings; // string list
    bool hasValue = false;
    std::vector<double> numbers; // value of bool, int and fixed options
    QByteArray text; // value of string options

    // Number of values for int and fixed options.
    int count() const { return std::max(1, size / 4); }
    // The first number of the value, 0 when there is none.
    double firstNumber() const { return numbers.empty() ? 0.0 : numbers.front(); }
    // Whether the value holds a number that can be read (a resolution, a switch).
    bool hasNumber() const { return hasValue && !numbers.empty(); }
    // Whether the user can change the option now: a button to press or a value to set.
    bool isEditable() const { return isActive && isSettable && (hasValue || type == OptionType::Button); }
};

// The value in a range nearest to v that the range's steps reach.
double snapToRange(const OptionInfo &option, double v);
// The value the option's constraint allows that is nearest to v.
double snapToConstraint(const OptionInfo &option, double v);

using OptionList = std::vector<OptionInfo>;

enum class ScanResult { Done, Cancelled, Failed };

// The names of the options shown on top of the acquisition dialog.
namespace names {
inline constexpr const char *mode = "mode";
inline constexpr const char *resolution = "resolution";
inline constexpr const char *source = "source";
inline constexpr const char *tlX = "tl-x";
inline constexpr const char *tlY = "tl-y";
inline constexpr const char *brX = "br-x";
inline constexpr const char *brY = "br-y";
} // namespace names

} // namespace scanlib
