#pragma once
// The picture loader for BMP, JPEG and GIF files, and a picture's size in twips.

#include "image/Picture.h"

#include <QString>

class QIODevice;

namespace rt {

using img::Picture;

float widthTwips(const Picture &picture);
float heightTwips(const Picture &picture);

// Loads a BMP, JPEG or GIF file (the first frame of a GIF). Anything else, including a
// directory, a device, a damaged file or a picture too large for memory, is an
// "invalid picture" or "file not found" run-time error.
Picture loadPicture(const QString &path);
// The same from an open device (name only goes into messages).
Picture loadPicture(QIODevice &device, const QString &name);

// The largest picture the loader accepts, in megabytes of decoded image: what the machine's
// memory allows with room to spare, at least 1 GB.
int pictureAllocationLimitMB();
// A fixed limit instead (the fuzzers work with a smaller one); 0 returns to the machine's.
void setPictureAllocationLimitMB(int megabytes);

} // namespace rt
