// The messages between the scanner library and its helper: what one side writes the other
// reads back, and nothing malformed makes the reader go beyond the message.

#include "scanlib/wire/Protocol.h"

#include <gtest/gtest.h>

using namespace scanlib;
using namespace scanlib::wire;

namespace {

OptionList sampleOptions()
{
    OptionInfo mode;
    mode.index = 2;
    mode.name = "mode";
    mode.title = "Scan mode";
    mode.type = OptionType::String;
    mode.size = 32;
    mode.constraint = Constraint::StringList;
    mode.strings = {"Gray", "Color"};
    mode.hasValue = true;
    mode.text = "Gray";
    OptionInfo resolution;
    resolution.index = 5;
    resolution.name = "resolution";
    resolution.type = OptionType::Fixed;
    resolution.unit = OptionUnit::Dpi;
    resolution.size = 4;
    resolution.isSettable = false;
    resolution.constraint = Constraint::Range;
    resolution.min = 1.5;
    resolution.max = 1200;
    resolution.quant = 0.25;
    resolution.words = {75, 150};
    resolution.hasValue = true;
    resolution.numbers = {-300.125};
    return {mode, resolution};
}

// The message without its length prefix.
QByteArray body(Writer &&writer)
{
    return writer.take().mid(4);
}

TEST(Protocol, WhatIsWrittenIsReadBack)
{
    const QByteArray message = body(std::move(Writer(Kind::Opened).text(QStringLiteral("test:0")).options(sampleOptions())));
    Reader in(message);
    EXPECT_EQ(in.kind(), Kind::Opened);
    EXPECT_EQ(in.text(), QStringLiteral("test:0"));
    const OptionList options = in.options();
    EXPECT_TRUE(in.complete());
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].strings, (std::vector<QByteArray>{"Gray", "Color"}));
    EXPECT_EQ(options[0].text, "Gray");
    EXPECT_EQ(options[0].constraint, Constraint::StringList);
    EXPECT_EQ(options[1].index, 5);
    EXPECT_EQ(options[1].type, OptionType::Fixed);
    EXPECT_EQ(options[1].unit, OptionUnit::Dpi);
    EXPECT_FALSE(options[1].isSettable);
    EXPECT_TRUE(options[1].isActive);
    EXPECT_EQ(options[1].quant, 0.25);
    EXPECT_EQ(options[1].words, (std::vector<double>{75, 150}));
    EXPECT_EQ(options[1].numbers, (std::vector<double>{-300.125}));

    // A scan request names the device and nothing else: no file name reaches the helper.
    Reader scan(body(std::move(Writer(Kind::Scan).scan({QStringLiteral("ä:0")}))));
    const ScanRequest request = scan.scan();
    EXPECT_TRUE(scan.complete());
    EXPECT_EQ(request.device, QStringLiteral("ä:0"));
    EXPECT_EQ(body(std::move(Writer(Kind::Scan).scan({QStringLiteral("ä:0")}))),
              body(std::move(Writer(Kind::Scan).text(QStringLiteral("ä:0")))));
}

TEST(Protocol, TruncatedAndLyingMessagesAreRefused)
{
    const QByteArray whole = body(std::move(Writer(Kind::Opened).text(QStringLiteral("test:0")).options(sampleOptions())));
    for (qsizetype cut = 1; cut < whole.size(); ++cut) {
        Reader in(whole.left(cut));
        in.text();
        const OptionList options = in.options();
        EXPECT_FALSE(in.complete()) << cut;
        EXPECT_TRUE(options.empty()) << cut;
    }

    // A count or length far beyond the message allocates nothing and fails.
    for (std::uint32_t lie : {0xffffffffu, 0x10000000u, 3u}) {
        Reader options(body(std::move(Writer(Kind::Options).u32(lie).u32(0))));
        EXPECT_TRUE(options.options().empty());
        EXPECT_FALSE(options.ok()) << lie;
        Reader text(body(std::move(Writer(Kind::Devices).u32(lie).u8(1))));
        EXPECT_TRUE(text.text().isEmpty());
        EXPECT_FALSE(text.ok()) << lie;
    }

    // Values outside an enumeration.
    Reader outcome(body(std::move(Writer(Kind::ScanEnded).u8(7).text({}))));
    outcome.outcome();
    EXPECT_FALSE(outcome.ok());

    // Something left over.
    Reader extra(body(std::move(Writer(Kind::Progress).f64(0.5).u8(0))));
    extra.f64();
    EXPECT_FALSE(extra.complete());
}

TEST(Protocol, TheStreamIsCutIntoMessagesAndAnOversizedLengthIsRefused)
{
    const QByteArray first = Writer(Kind::Progress).f64(0.25).take();
    const QByteArray second = Writer(Kind::ScanEnded).outcome({ScanResult::Cancelled, QStringLiteral("x")}).take();
    const QByteArray stream = first + second;
    Framer framer;
    QByteArray message;
    std::vector<QByteArray> got;
    for (char c : stream) { // one byte at a time, as a pipe may deliver them
        framer.append(&c, 1);
        while (framer.next(message) == Framer::Next::Message)
            got.push_back(message);
    }
    ASSERT_EQ(got.size(), 2u);
    Reader in(got[1]);
    EXPECT_EQ(in.kind(), Kind::ScanEnded);
    EXPECT_EQ(in.outcome().result, ScanResult::Cancelled);
    EXPECT_TRUE(in.complete());

    for (const char *length : {"\xff\xff\xff\xff", "\x01\x00\x00\x01", "\x00\x00\x00\x00"}) {
        Framer bad;
        bad.append(length, 4);
        EXPECT_EQ(bad.next(message), Framer::Next::Bad);
    }
}

} // namespace
