#include "video/AviCompressorNames.h"

#include "video/AviWriter.h"

QStringList AviCompressorNames() {
    static const QStringList names = [] {
        TAviWriter_2 writer;
        writer.SetWidth(640);
        writer.SetHeight(480);
        QStringList list;
        writer.GetCompressorList(list);
        if (!list.isEmpty())
            list.removeFirst(); // "No Compression" is no compressor
        return list;
    }();
    return names;
}
