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

    // A scan request names the device, the overrides and the sampling, and nothing else: no
    // file name reaches the helper.
    const ScanRequest asked{
        QStringLiteral("ä:0"), {{2, OptionValue::Kind::Text, 0, "Color"}, {5, OptionValue::Kind::Number, 47.5, {}}}, 9};
    Reader scan(body(std::move(Writer(Kind::Scan).scan(asked))));
    const ScanRequest request = scan.scan();
    EXPECT_TRUE(scan.complete());
    EXPECT_EQ(request.device, QStringLiteral("ä:0"));
    ASSERT_EQ(request.overrides.size(), 2u);
    EXPECT_EQ(request.overrides[0].text, "Color");
    EXPECT_EQ(request.overrides[1].index, 5);
    EXPECT_EQ(request.overrides[1].kind, OptionValue::Kind::Number);
    EXPECT_EQ(request.overrides[1].number, 47.5);
    EXPECT_EQ(request.sample, 9);
    EXPECT_TRUE(request.toFile);
    EXPECT_EQ(body(std::move(Writer(Kind::Scan).scan({QStringLiteral("ä:0"), {}, 0}))),
              body(std::move(Writer(Kind::Scan).text(QStringLiteral("ä:0")).u32(0).i32(0).u8(1))));
    Reader bandsOnly(body(std::move(Writer(Kind::Scan).scan({{}, {}, 1, false}))));
    EXPECT_FALSE(bandsOnly.scan().toFile);
    EXPECT_TRUE(bandsOnly.complete());

    const Band sent{7, 2, 3, -1, QByteArray("abcdefghijklmnopqr")};
    Reader band(body(std::move(Writer(Kind::Band).band(sent))));
    EXPECT_EQ(band.kind(), Kind::Band);
    const Band got = band.band();
    EXPECT_TRUE(band.complete());
    EXPECT_EQ(got.firstRow, 7u);
    EXPECT_EQ(got.width, 2u);
    EXPECT_EQ(got.rows, 3u);
    EXPECT_EQ(got.fullHeight, -1);
    EXPECT_EQ(got.rgb, sent.rgb);
}

TEST(Protocol, TruncatedOrMismatchedBandsAndScanRequestsAreRefused)
{
    const QByteArray band = body(std::move(Writer(Kind::Band).band({7, 2, 3, 600, QByteArray(18, 'x')})));
    const QByteArray scan
        = body(std::move(Writer(Kind::Scan).scan({QStringLiteral("test:0"), {{2, OptionValue::Kind::Text, 0, "Color"}}, 4})));
    for (qsizetype cut = 1; cut < band.size(); ++cut) {
        Reader in(band.left(cut));
        EXPECT_TRUE(in.band().rgb.isEmpty()) << cut;
        EXPECT_FALSE(in.complete()) << cut;
    }
    for (qsizetype cut = 1; cut < scan.size(); ++cut) {
        Reader in(scan.left(cut));
        EXPECT_TRUE(in.scan().overrides.empty()) << cut;
        EXPECT_FALSE(in.complete()) << cut;
    }

    // Bytes that do not match rows * width * 3, an empty band, rows past what an int holds.
    const auto bad = [](std::uint32_t first, std::uint32_t width, std::uint32_t rows, qsizetype bytes) {
        Reader in(body(std::move(Writer(Kind::Band).u32(first).u32(width).u32(rows).i32(-1).bytes(QByteArray(bytes, 'x')))));
        in.band();
        return !in.ok();
    };
    EXPECT_FALSE(bad(0, 2, 3, 18));
    EXPECT_TRUE(bad(0, 2, 3, 17));
    EXPECT_TRUE(bad(0, 2, 3, 19));
    EXPECT_TRUE(bad(0, 0, 3, 0));
    EXPECT_TRUE(bad(0, 2, 0, 0));
    EXPECT_TRUE(bad(0, 0x80000000u, 2, 0)); // the product wraps in 32 bits
    EXPECT_TRUE(bad(0x7fffffffu, 1, 1, 3));
    EXPECT_FALSE(bad(0x7ffffffeu, 1, 1, 3));

    // More overrides than the message can hold, a negative sampling, a picture going nowhere
    // (neither file nor bands), and a file switch that is neither.
    Reader lying(body(std::move(Writer(Kind::Scan).text({}).u32(1000).i32(0).u8(1))));
    EXPECT_TRUE(lying.scan().overrides.empty());
    EXPECT_FALSE(lying.ok());
    const auto refused = [](std::int32_t sample, std::uint8_t toFile) {
        Reader in(body(std::move(Writer(Kind::Scan).text({}).u32(0).i32(sample).u8(toFile))));
        in.scan();
        return !in.ok();
    };
    EXPECT_TRUE(refused(-2, 1));
    EXPECT_TRUE(refused(0, 0));
    EXPECT_TRUE(refused(1, 2));
    EXPECT_FALSE(refused(1, 0));
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
