#pragma once
// The messages between the scanner library and its helper process. Each message is a
// 32-bit little-endian length followed by that many bytes: a kind byte, then the fields.
// Decoding checks every length against what is left of the message, so bytes from the
// helper can make the library neither read nor allocate beyond the message.

#include "scanlib/wire/ScanTypes.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace scanlib::wire {

inline constexpr std::uint32_t magic = 0x5653434e; // opens the helper's first message
inline constexpr std::uint16_t version = 5;
inline constexpr std::uint32_t maxMessage = 16u << 20;

enum class Kind : std::uint8_t {
    // library to helper
    ListDevices = 1,
    Open = 2, // device name ("" for the first one)
    SetOption = 3, // OptionValue
    Scan = 4, // ScanRequest; the file to write, if any, comes as a descriptor over the helper's socket
    Cancel = 5,
    // helper to library
    Hello = 64, // magic, version
    Devices = 65, // error text, devices
    Opened = 66, // device name, error text, options
    Options = 67, // error text, options
    Progress = 68, // fraction, or negative while the size is unknown
    ScanEnded = 69, // ScanOutcome
    Settled = 70, // the driver has ended the scan after its outcome
    Band = 71, // Band: rows of a scan's picture as they arrive, before ScanEnded
};

// A value for an option; the helper takes from it what the option's type needs.
struct OptionValue {
    enum class Kind : std::uint8_t { Press, Bool, Number, Text };
    int index = 0;
    Kind kind = Kind::Press;
    double number = 0;
    QByteArray text;
};

// No file name crosses: the helper writes the image through the descriptor that comes with
// the request and never opens a file of the user's by name.
struct ScanRequest {
    QString device; // opened first unless it is open ("" for the first one)
    // Set in this order before the scan; each option gets its value back once the driver
    // has ended the scan, whatever its outcome.
    std::vector<OptionValue> overrides;
    int sample = 0; // N >= 1: Band messages with every N-th row and column; 0: none
    bool toFile = true; // false: no file comes with it, the bands are the picture
};

// Every sample-th row and column of a scan's picture, RGB with 8 bits per channel.
struct Band {
    std::uint32_t firstRow = 0; // in sampled rows
    std::uint32_t width = 0; // sampled columns
    std::uint32_t rows = 0;
    std::int32_t fullHeight = -1; // the image's lines as the device says, -1 while unknown
    QByteArray rgb; // rows * width * 3 bytes
};

struct ScanOutcome {
    ScanResult result = ScanResult::Failed;
    QString text; // German, empty when the scan succeeded
};

// Builds one message, length prefix included.
class Writer {
public:
    explicit Writer(Kind kind);
    Writer &u8(std::uint8_t v);
    Writer &u32(std::uint32_t v);
    Writer &i32(std::int32_t v);
    Writer &f64(double v);
    Writer &bytes(const QByteArray &v);
    Writer &text(const QString &v);
    Writer &devices(const std::vector<DeviceInfo> &list);
    Writer &options(const OptionList &list);
    Writer &value(const OptionValue &v);
    Writer &scan(const ScanRequest &r);
    Writer &outcome(const ScanOutcome &o);
    Writer &band(const Band &b);
    // The finished message.
    QByteArray take();

private:
    QByteArray data_;
};

// Reads the fields of one message. A read past the end, or a count that cannot fit in
// what is left, makes the reader bad; every read after that yields empty values.
class Reader {
public:
    explicit Reader(const QByteArray &message);
    Kind kind() const { return kind_; }
    bool ok() const { return ok_; }
    // True when the message was read whole and nothing is left over.
    bool complete() const { return ok_ && at_ == size_; }

    std::uint8_t u8();
    std::uint32_t u32();
    std::int32_t i32();
    double f64();
    QByteArray bytes();
    QString text();
    std::vector<DeviceInfo> devices();
    OptionList options();
    OptionValue value();
    ScanRequest scan();
    ScanOutcome outcome();
    // Bad unless the bytes are rows * width * 3, the band is not empty and its rows' numbers
    // fit in an int.
    Band band();

private:
    const char *take(std::size_t n);
    std::size_t count(std::size_t smallestElement);

    QByteArray message_;
    std::size_t at_ = 0;
    std::size_t size_ = 0;
    Kind kind_{};
    bool ok_ = true;
};

// Cuts a byte stream into messages.
class Framer {
public:
    enum class Next { Message, NeedMore, Bad };
    void append(const char *data, std::size_t length) { buffer_.append(data, qsizetype(length)); }
    // The next whole message (without its length prefix); Bad for a length beyond maxMessage
    // or an empty message.
    Next next(QByteArray &message);

private:
    QByteArray buffer_;
};

} // namespace scanlib::wire
