// The ID3v1 reader on any bytes: the record decoded, its fields shown as the tag window
// shows them, and the record encoded again from what was decoded.

#include "fuzz_target.h"
#include "tags/id3v1.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The reader is given the last 128 bytes of a file; shorter and longer inputs too.
    const auto fields = id3v1::decode(bytes.right(id3v1::kSize));
    id3v1::decode(bytes);
    id3v1::fromCp1253(bytes);
    if (!fields)
        return 0;
    for (const QString *f : {&fields->title, &fields->artist, &fields->album, &fields->year, &fields->comment})
        id3v1::shownText(*f);
    const QByteArray again = id3v1::encode(*fields);
    if (again.size() != id3v1::kSize || !id3v1::decode(again))
        __builtin_trap();
    if (fields->genreRow >= 0 && id3v1::genreRowFromByte(id3v1::genreByteForRow(fields->genreRow)) != fields->genreRow)
        __builtin_trap();
    return 0;
}
