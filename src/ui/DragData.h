#pragma once
// What a drag of the picture carries: image/png, and a PNG file in a private directory for
// programs that take files. The PNG is encoded on a worker thread as soon as the drag
// starts, so the window keeps running while a large page is encoded.

#include "runtime/PictureLoader.h"

#include <QMimeData>
#include <future>

class DragData : public QMimeData {
public:
    // file: where the PNG is written for programs that take files; empty for none.
    DragData(const rt::Picture &picture, const QString &file);
    ~DragData() override;
    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    // The PNG, or nothing when it could not be made (or written to the file).
    QByteArray png() const;

    QString file_;
    std::shared_future<QByteArray> png_;
};
