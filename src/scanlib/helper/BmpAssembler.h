#pragma once
// Turns the frames a scanner delivers into a BMP file while the data arrives.
//
// One-pass images (grey or RGB) are converted line by line and written at once, so only a
// line is held in memory; the header is written first with a placeholder height and
// patched by finish() with the number of lines that really arrived (the image is stored
// top-down, with a negative height). Three-pass colour (separate red, green and blue
// frames, in any order) has to be buffered until the last frame is in.
//
// The class makes no scanner calls: it sees only the frame parameters and the bytes, in
// chunks of any length, which makes it safe to feed with arbitrary input.

#include <sane/sane.h>

#include <QIODevice>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace scanlib {

// A row of the image once it is complete, converted to 8 bits per sample (16-bit samples by
// their high byte), for a view of the picture while it arrives.
struct FinishedRow {
    enum class Layout {
        Bits, // one bit per pixel, packed from the high bit, a set bit white
        Grey, // one byte per pixel
        Bgr, // three bytes per pixel, blue first
        Plane, // one byte per pixel of one colour (three-pass)
    };
    int y = 0; // from the top
    int width = 0; // pixels
    int lines = -1; // the frame's lines as the device says, -1 while unknown
    Layout layout = Layout::Grey;
    int channel = 0; // of a plane: 0 red, 1 green, 2 blue
    const unsigned char *pixels = nullptr; // valid during the call only
};

// Copies w pixels of three bytes from in to out with the first and third byte swapped.
void swapRedBlue(const unsigned char *in, unsigned char *out, std::size_t w);

class RowObserver {
public:
    virtual void row(const FinishedRow &row) = 0;

protected:
    ~RowObserver() = default;
};

class BmpAssembler {
public:
    // out must be open for writing and seekable; it stays owned by the caller.
    explicit BmpAssembler(QIODevice &out, int dotsPerInch = 0);

    // Hands each finished row to observer (null: none), which must outlive the assembler.
    void observe(RowObserver *observer) { observer_ = observer; }

    // Starts a frame described by the parameters read after the frame's sane_start.
    bool beginFrame(const SANE_Parameters &parameters);
    // Adds bytes of the current frame; a negative length is refused.
    bool addData(const unsigned char *data, long long length);
    // Ends the current frame (the device reported its end).
    bool endFrame();
    // Writes what is still missing and completes the header; the file is then a BMP.
    bool finish();

    // Why the last call failed, in German.
    const QString &error() const { return error_; }
    // Bytes received in all frames so far.
    long long bytesReceived() const { return received_; }
    // Bytes the frames will carry in all, or -1 while that is unknown.
    long long bytesExpected() const;
    // True once every frame the image needs has ended.
    bool complete() const;

private:
    enum class Kind { None, Grey, Lineart, Colour, ThreePass };

    bool fail(const QString &why);
    // The parts of beginFrame: the frame's kind and its line checked, then the image begun
    // (first frame) or continued (a later plane), then the frame's own state reset.
    std::optional<Kind> checkedKind(const SANE_Parameters &parameters);
    bool checkLineLength(const SANE_Parameters &parameters);
    bool startImage(Kind kind, const SANE_Parameters &parameters);
    bool joinImage(Kind kind, const SANE_Parameters &parameters);
    bool startFrame(Kind kind, const SANE_Parameters &parameters);
    bool writeHeader(int height);
    unsigned char *nextRow(); // the next row of the file, to fill; null on failure
    bool flush();
    void convertLine(const unsigned char *line, unsigned char *out);
    // Returns the plane's row, filled.
    const unsigned char *storePlaneLine(const unsigned char *line);
    void tell(const unsigned char *pixels) const;

    QIODevice &out_;
    int dpi_;
    RowObserver *observer_ = nullptr;
    QString error_;
    Kind kind_ = Kind::None;
    bool inFrame_ = false;
    bool finished_ = false;
    bool lastFrameSeen_ = false;
    SANE_Parameters frame_{};
    int width_ = 0;
    std::size_t rowStride_ = 0; // bytes of one BMP row, padded to four
    std::vector<unsigned char> line_; // the incomplete line of the frame
    std::size_t lineFill_ = 0;
    std::vector<unsigned char> pending_; // rows not yet written: a block of whole rows
    std::size_t pendingFill_ = 0; // bytes of it in use
    int frameLines_ = 0; // complete lines of the current frame
    int outputLines_ = 0; // rows written to the file
    long long received_ = 0;
    long long expectedPerFrame_ = -1;
    qint64 headerPos_ = 0;

    // Three-pass: one plane of 8-bit samples per colour, grown as lines arrive.
    std::array<std::vector<unsigned char>, 3> planes_;
    std::array<int, 3> planeLines_{};
    std::array<bool, 3> planeDone_{};
    int plane_ = -1;
};

} // namespace scanlib
