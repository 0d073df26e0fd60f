// The preview and the page as it arrives, through the client and the real helper against
// SANE's test scanner, with scanimage as the reference: a preview shows what scanimage gives
// for its settings and leaves the user's as they were, also when it is cancelled; the bands
// of a scan put together are every N-th row and column of the file it wrote.

#include "ScanTestSupport.h"
#include "scanlib/client/Client.h"

#include <QFile>
#include <QImage>
#include <QObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace scanlib;

namespace {

struct TestScanners : testing::Environment {
    void SetUp() override { useSaneConfig(Backends::TestOnly); }
};
const auto *const environment = testing::AddGlobalTestEnvironment(new TestScanners);

const std::string pattern = "Color pattern";

class Live : public testing::Test {
protected:
    Live() { dir_.setAutoRemove(qEnvironmentVariableIsEmpty("KEEPDIR")); }
    QString path(const char *name) const { return dir_.filePath(QString::fromLatin1(name)); }

    // Opens the device and gives it the baseline, then settings.
    bool start(const Settings &settings)
    {
        bool answered = false;
        Client::instance().openDevice(&owner_, [&](QString, OptionList options, QString error, bool) {
            EXPECT_EQ(error, QString());
            options_ = std::move(options);
            answered = true;
        });
        return waitFor([&] { return answered; }) && !options_.empty() && set(baseline(), true) && set(settings);
    }
    const OptionInfo *find(const std::string &name) const
    {
        for (const OptionInfo &o : options_)
            if (o.name == QByteArray::fromStdString(name))
                return &o;
        return nullptr;
    }
    // The value as the option's type takes it; false for a missing option, or an inactive one
    // unless inactive.
    bool valueFor(const std::string &name, const std::string &text, wire::OptionValue &v, bool inactive = false) const
    {
        const OptionInfo *o = find(name);
        if (!o || !(o->isActive || inactive))
            return false;
        v.index = o->index;
        if (o->type == OptionType::String) {
            v.kind = wire::OptionValue::Kind::Text;
            v.text = QByteArray::fromStdString(text);
        } else if (o->type == OptionType::Bool) {
            v.kind = wire::OptionValue::Kind::Bool;
            v.number = text == "yes" ? 1 : 0;
        } else {
            v.kind = wire::OptionValue::Kind::Number;
            v.number = std::stod(text);
        }
        return true;
    }
    // Sets them one by one through the client; with lenient, what is missing or inactive is
    // passed over.
    bool set(const Settings &settings, bool lenient = false)
    {
        for (const auto &setting : settings) {
            const std::string &name = setting.first, &text = setting.second;
            wire::OptionValue v;
            if (!valueFor(name, text, v)) {
                if (lenient)
                    continue;
                ADD_FAILURE() << name << " is missing or inactive";
                return false;
            }
            const QVariant value = v.kind == wire::OptionValue::Kind::Text ? QVariant(v.text)
                : v.kind == wire::OptionValue::Kind::Bool                  ? QVariant(v.number != 0)
                                                                           : QVariant(v.number);
            bool answered = false;
            Client::instance().setOption(&owner_, v.index, value, [&](OptionList options, QString error, bool) {
                EXPECT_EQ(error, QString()) << name;
                options_ = std::move(options);
                answered = true;
            });
            if (!waitFor([&] { return answered; }))
                return false;
        }
        return true;
    }
    std::vector<wire::OptionValue> overrides(const Settings &settings) const
    {
        std::vector<wire::OptionValue> list;
        for (const auto &setting : settings) {
            const std::string &name = setting.first, &text = setting.second;
            wire::OptionValue v;
            EXPECT_TRUE(valueFor(name, text, v, true)) << name;
            list.push_back(v);
        }
        return list;
    }
    // Every option's value as the device has it now, for comparing.
    std::vector<std::pair<QByteArray, QString>> values() const
    {
        std::vector<std::pair<QByteArray, QString>> list;
        for (const OptionInfo &o : options_) {
            QString v = QString::fromLatin1(o.text);
            for (double n : o.numbers)
                v += QStringLiteral(" %1").arg(n);
            list.emplace_back(o.name, o.isActive ? v : QStringLiteral("(inaktiv)"));
        }
        return list;
    }
    ScanResult scan(const QString &file, ScanView view = {})
    {
        std::optional<ScanResult> result;
        Client::instance().scan(
            &owner_, file, std::move(view), [](double) {}, [](QString) {},
            [&](ScanResult r, QString error) {
                EXPECT_TRUE(r != ScanResult::Done || error.isEmpty()) << error.toStdString();
                result = r;
            });
        return waitFor([&] { return result.has_value(); }, 120000) ? *result : ScanResult::Failed;
    }
    // A preview; cancelled when the first band or progress arrives if cancel says so.
    ScanResult preview(const std::vector<wire::OptionValue> &overrides, QImage &picture, bool cancel = false)
    {
        std::optional<ScanResult> result;
        bool heard = false;
        Client::instance().preview(
            &owner_, overrides, [&](const Band &) { heard = true; }, [&](double) { heard = true; }, [](QString) {},
            [&](ScanResult r, QString, QImage image) {
                result = r;
                picture = std::move(image);
            });
        if (cancel) {
            EXPECT_TRUE(waitFor([&] { return heard || result; }));
            EXPECT_FALSE(result.has_value()) << "over before the cancel";
            Client::instance().cancelScan();
        }
        return waitFor([&] { return result.has_value(); }, 120000) ? *result : ScanResult::Failed;
    }

    QTemporaryDir dir_;
    QObject owner_;
    OptionList options_;
};

TEST_F(Live, APreviewShowsItsSettingsAndLeavesTheUsersAlsoWhenCancelled)
{
    // The test scanner has no "preview" switch; the dialog leaves it out then.
    const Settings user{{"mode", "Gray"}, {"resolution", "30"}, {"test-picture", pattern}, {"tl-x", "10"}, {"tl-y", "5"},
                        {"br-x", "60"},   {"br-y", "70"}};
    ASSERT_TRUE(start(user));
    const auto before = values();
    const Settings glass{{"mode", "Color"}, {"resolution", "50"}, {"tl-x", "0"}, {"tl-y", "0"}, {"br-x", "200"}, {"br-y", "200"}};
    QImage picture;
    ASSERT_EQ(preview(overrides(glass), picture), ScanResult::Done);
    Settings both = user;
    both.insert(both.end(), glass.begin(), glass.end());
    ASSERT_TRUE(scanimage(both, path("preview.pnm")));
    EXPECT_EQ(compareWithPnm(picture, path("preview.pnm")), "");
    EXPECT_EQ(strayFiles(dir_.path(), {QStringLiteral("preview.pnm")}), QStringList()) << "nothing at or beside path";

    // The device's options read back as they were, and a scan is the user's; once it is over,
    // the helper may run on every processor again (it keeps to one while it scans).
    const auto processors = [](int pid) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Cpus_allowed_list:"))
                return line.mid(18).trimmed();
        return QByteArray();
    };
    const auto checkUsersSettings = [&](const char *after) {
        ASSERT_TRUE(set({{"test-picture", pattern}}));
        EXPECT_EQ(values(), before) << after;
        ASSERT_EQ(scan(path("scan.bmp")), ScanResult::Done);
        ASSERT_TRUE(scanimage(user, path("user.pnm")));
        EXPECT_EQ(compareWithPnm(path("scan.bmp"), path("user.pnm")), "") << after;
        const QByteArray ours = processors(int(::getpid()));
        EXPECT_TRUE(waitFor([&] { return processors(helperProcess()) == ours; }, 5000))
            << after << ": the helper runs on " << processors(helperProcess()).constData() << ", we on " << ours.constData();
    };
    checkUsersSettings("after a preview");

    // Slow enough to be cancelled in the middle.
    Settings slow = glass;
    slow.insert(slow.end(), {{"read-limit", "yes"}, {"read-limit-size", "2000"}, {"read-delay", "yes"}});
    ASSERT_EQ(preview(overrides(slow), picture, true), ScanResult::Cancelled);
    EXPECT_TRUE(picture.isNull());
    checkUsersSettings("after a cancelled preview");
}

struct BandCase {
    const char *name;
    Settings settings;
};

void PrintTo(const BandCase &b, std::ostream *out)
{
    *out << b.name;
}

class Bands : public Live, public testing::WithParamInterface<BandCase> { };

TEST_P(Bands, PutTogetherAreEveryNthRowAndColumnOfTheFile)
{
    constexpr int n = 3; // the page's 157 columns are no multiple of it
    ASSERT_TRUE(start(GetParam().settings));
    const bool unknownHeight = find("hand-scanner")->firstNumber() != 0;
    const bool threePass = find("three-pass")->isActive && find("three-pass")->firstNumber() != 0;
    int width = 0, sampledRows = 0;
    std::vector<int> fullHeights;
    QByteArray assembled;
    const ScanResult result
        = scan(path("scan.bmp"), ScanView{n, [&](const Band &b) {
                                              if (width == 0)
                                                  width = b.width;
                                              ASSERT_EQ(b.width, width);
                                              ASSERT_EQ(b.rgb.size(), qsizetype(b.rows) * b.width * 3);
                                              const qsizetype end = qsizetype(b.firstRow + b.rows) * width * 3;
                                              if (assembled.size() < end)
                                                  assembled.resize(end, '\0');
                                              assembled.replace(qsizetype(b.firstRow) * width * 3, b.rgb.size(), b.rgb);
                                              sampledRows += b.rows;
                                              fullHeights.push_back(b.fullHeight);
                                          }});
    ASSERT_EQ(result, ScanResult::Done);
    const QImage file = QImage(path("scan.bmp"), "bmp").convertToFormat(QImage::Format_RGB888);
    ASSERT_FALSE(file.isNull());
    const int w = (file.width() + n - 1) / n, h = (file.height() + n - 1) / n;
    QByteArray expected;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            expected.append(reinterpret_cast<const char *>(file.constScanLine(y * n) + 3 * x * n), 3);
    EXPECT_EQ(width, w);
    EXPECT_EQ(assembled.size() / 3 / std::max(w, 1), h);
    EXPECT_TRUE(assembled == expected) << "the bands differ from the file";
    for (int full : fullHeights)
        EXPECT_EQ(full, unknownHeight ? -1 : file.height());
    if (threePass) { // each plane sends its rows
        EXPECT_GE(sampledRows, 3 * h);
    }
}

INSTANTIATE_TEST_SUITE_P(
    TestBackend, Bands,
    testing::Values(BandCase{"Colour", {{"mode", "Color"}, {"test-picture", pattern}}},
                    BandCase{"Grey", {{"mode", "Gray"}, {"test-picture", pattern}}},
                    BandCase{"Colour16", {{"mode", "Color"}, {"depth", "16"}, {"test-picture", pattern}}},
                    BandCase{"Lineart", {{"mode", "Gray"}, {"depth", "1"}, {"test-picture", pattern}}},
                    BandCase{"ThreePass", {{"mode", "Color"}, {"three-pass", "yes"}, {"test-picture", pattern}}},
                    BandCase{"UnknownHeight", {{"mode", "Color"}, {"hand-scanner", "yes"}, {"test-picture", pattern}}}),
    [](const testing::TestParamInfo<BandCase> &param) { return std::string(param.param.name); });

} // namespace
