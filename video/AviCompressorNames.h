#pragma once
// The compressors this machine offers for recording, named as the AVI writer's compressor
// list names them ("MJPG mjpeg"), for lists that are not tied to one video size.

#include <QStringList>

// Every encoder of the writer's list that opens at 640 x 480, in the list's order. Found
// once per process: opening the encoders is slow, and they do not change while it runs.
QStringList AviCompressorNames();
