#include "scanlib/wire/Protocol.h"

#include <cstring>
#include <limits>

namespace scanlib::wire {

namespace {

constexpr std::size_t maxCount = 100000; // options, devices, list entries
constexpr std::size_t valueSize = 4 + 1 + 8 + 4; // an OptionValue with empty text

template <typename E>
E enumFrom(std::uint8_t v, E last, bool &ok)
{
    if (v > static_cast<std::uint8_t>(last)) {
        ok = false;
        return E{};
    }
    return static_cast<E>(v);
}

} // namespace

Writer::Writer(Kind kind)
{
    data_.resize(4);
    u8(static_cast<std::uint8_t>(kind));
}

Writer &Writer::u8(std::uint8_t v)
{
    data_.append(static_cast<char>(v));
    return *this;
}

Writer &Writer::u32(std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        u8(static_cast<std::uint8_t>((v >> shift) & 0xff));
    return *this;
}

Writer &Writer::i32(std::int32_t v)
{
    return u32(static_cast<std::uint32_t>(v));
}

Writer &Writer::f64(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(static_cast<std::uint32_t>(bits & 0xffffffffu));
    return u32(static_cast<std::uint32_t>(bits >> 32));
}

Writer &Writer::bytes(const QByteArray &v)
{
    u32(static_cast<std::uint32_t>(v.size()));
    data_.append(v);
    return *this;
}

Writer &Writer::text(const QString &v)
{
    return bytes(v.toUtf8());
}

Writer &Writer::devices(const std::vector<DeviceInfo> &list)
{
    u32(static_cast<std::uint32_t>(list.size()));
    for (const DeviceInfo &d : list)
        text(d.name).text(d.vendor).text(d.model).text(d.type);
    return *this;
}

Writer &Writer::options(const OptionList &list)
{
    u32(static_cast<std::uint32_t>(list.size()));
    for (const OptionInfo &o : list) {
        i32(o.index).bytes(o.name).bytes(o.title).bytes(o.description);
        u8(static_cast<std::uint8_t>(o.type)).u8(static_cast<std::uint8_t>(o.unit)).i32(o.size);
        u8(static_cast<std::uint8_t>((o.isActive ? 1 : 0) | (o.isSettable ? 2 : 0) | (o.hasValue ? 4 : 0)));
        u8(static_cast<std::uint8_t>(o.constraint)).f64(o.min).f64(o.max).f64(o.quant);
        u32(static_cast<std::uint32_t>(o.words.size()));
        for (double w : o.words)
            f64(w);
        u32(static_cast<std::uint32_t>(o.strings.size()));
        for (const QByteArray &s : o.strings)
            bytes(s);
        u32(static_cast<std::uint32_t>(o.numbers.size()));
        for (double n : o.numbers)
            f64(n);
        bytes(o.text);
    }
    return *this;
}

Writer &Writer::value(const OptionValue &v)
{
    return i32(v.index).u8(static_cast<std::uint8_t>(v.kind)).f64(v.number).bytes(v.text);
}

Writer &Writer::scan(const ScanRequest &r)
{
    text(r.device).u32(static_cast<std::uint32_t>(r.overrides.size()));
    for (const OptionValue &v : r.overrides)
        value(v);
    return i32(r.sample).u8(r.toFile ? 1 : 0);
}

Writer &Writer::outcome(const ScanOutcome &o)
{
    return u8(static_cast<std::uint8_t>(o.result)).text(o.text);
}

Writer &Writer::band(const Band &b)
{
    return u32(b.firstRow).u32(b.width).u32(b.rows).i32(b.fullHeight).bytes(b.rgb);
}

QByteArray Writer::take()
{
    const auto length = static_cast<std::uint32_t>(data_.size() - 4);
    for (int i = 0; i < 4; ++i)
        data_[i] = static_cast<char>((length >> (8 * i)) & 0xff);
    return std::move(data_);
}

Reader::Reader(const QByteArray &message) : message_(message), size_(std::size_t(message.size()))
{
    kind_ = static_cast<Kind>(u8());
}

const char *Reader::take(std::size_t n)
{
    if (!ok_ || n > size_ - at_) {
        ok_ = false;
        return nullptr;
    }
    const char *p = message_.constData() + at_;
    at_ += n;
    return p;
}

std::size_t Reader::count(std::size_t smallestElement)
{
    const std::size_t n = u32();
    // Each element takes at least smallestElement bytes, so a count that cannot fit in the
    // rest of the message is a lie and allocates nothing.
    if (n > maxCount || n > (size_ - at_) / smallestElement) {
        ok_ = false;
        return 0;
    }
    return n;
}

std::uint8_t Reader::u8()
{
    const char *p = take(1);
    return p ? static_cast<std::uint8_t>(*p) : 0;
}

std::uint32_t Reader::u32()
{
    const char *p = take(4);
    if (!p)
        return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

std::int32_t Reader::i32()
{
    return static_cast<std::int32_t>(u32());
}

double Reader::f64()
{
    const std::uint64_t low = u32(), high = u32();
    const std::uint64_t bits = low | (high << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

QByteArray Reader::bytes()
{
    const std::size_t n = u32();
    const char *p = take(n);
    return p ? QByteArray(p, qsizetype(n)) : QByteArray();
}

QString Reader::text()
{
    return QString::fromUtf8(bytes());
}

std::vector<DeviceInfo> Reader::devices()
{
    std::vector<DeviceInfo> list(count(16));
    for (DeviceInfo &d : list) {
        d.name = text();
        d.vendor = text();
        d.model = text();
        d.type = text();
    }
    return ok_ ? list : std::vector<DeviceInfo>{};
}

OptionList Reader::options()
{
    OptionList list(count(64));
    for (OptionInfo &o : list) {
        o.index = i32();
        o.name = bytes();
        o.title = bytes();
        o.description = bytes();
        o.type = enumFrom(u8(), OptionType::Group, ok_);
        o.unit = enumFrom(u8(), OptionUnit::Microsecond, ok_);
        o.size = std::max(0, i32());
        const std::uint8_t flags = u8();
        o.isActive = flags & 1;
        o.isSettable = flags & 2;
        o.hasValue = flags & 4;
        o.constraint = enumFrom(u8(), Constraint::StringList, ok_);
        o.min = f64();
        o.max = f64();
        o.quant = f64();
        o.words.resize(count(8));
        for (double &w : o.words)
            w = f64();
        o.strings.resize(count(4));
        for (QByteArray &s : o.strings)
            s = bytes();
        o.numbers.resize(count(8));
        for (double &n : o.numbers)
            n = f64();
        o.text = bytes();
        if (!ok_)
            return {};
    }
    return list;
}

OptionValue Reader::value()
{
    OptionValue v;
    v.index = i32();
    v.kind = enumFrom(u8(), OptionValue::Kind::Text, ok_);
    v.number = f64();
    v.text = bytes();
    return v;
}

ScanRequest Reader::scan()
{
    ScanRequest r;
    r.device = text();
    r.overrides.resize(count(valueSize));
    for (OptionValue &v : r.overrides)
        v = value();
    r.sample = i32();
    const std::uint8_t toFile = u8();
    r.toFile = toFile == 1;
    if (r.sample < 0 || toFile > 1 || (!r.toFile && r.sample == 0)) // a scan without file shows its bands
        ok_ = false;
    return ok_ ? r : ScanRequest{};
}

ScanOutcome Reader::outcome()
{
    ScanOutcome o;
    o.result = enumFrom(u8(), ScanResult::Failed, ok_);
    o.text = text();
    return o;
}

Band Reader::band()
{
    Band b;
    b.firstRow = u32();
    b.width = u32();
    b.rows = u32();
    b.fullHeight = i32();
    b.rgb = bytes();
    const std::uint64_t expected = std::uint64_t(b.rows) * b.width * 3;
    if (b.rows == 0 || b.width == 0 || expected != std::uint64_t(b.rgb.size())
        || b.firstRow > std::uint32_t(std::numeric_limits<std::int32_t>::max()) - b.rows)
        ok_ = false;
    return ok_ ? b : Band{};
}

Framer::Next Framer::next(QByteArray &message)
{
    if (buffer_.size() < 4)
        return Next::NeedMore;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | static_cast<unsigned char>(buffer_[i]);
    if (length == 0 || length > maxMessage)
        return Next::Bad;
    if (std::size_t(buffer_.size()) - 4 < length)
        return Next::NeedMore;
    message = buffer_.mid(4, qsizetype(length));
    buffer_.remove(0, qsizetype(length) + 4);
    return Next::Message;
}

} // namespace scanlib::wire
