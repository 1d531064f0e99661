// Input: a count byte, that many operation bytes, then the buffer the reader takes apart.
// Every successful read is written again with BinaryWriter; the result must equal the bytes
// the reader consumed, and a failed read must consume nothing.
#include <cstdlib>

#include "FuzzCheck.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/BinaryReader.h"
#include "QuillmereCore/BinaryWriter.h"

namespace {

using qm::fuzz::check;

void step(std::uint8_t op, qm::BinaryReader& r, qm::BinaryWriter& w) {
    const int width[] = {1, 2, 4, 3, 0, 8};
    switch (op % 10) {
        case 0:
            w.u8(r.u8());
            break;
        case 1:
            w.u16(r.u16());
            break;
        case 2:
            w.i16(r.i16());
            break;
        case 3:
            w.u32(r.u32());
            break;
        case 4:
            w.i32(r.i32());
            break;
        case 5:
            w.u64(r.u64());
            break;
        case 6:
            w.i64(r.i64());
            break;
        case 7:
            w.bytes(r.bytes(static_cast<std::int8_t>(op) / 10));
            break;
        default: {
            const int lengthBytes = width[(op / 10) % 6];
            const qm::Bytes body = r.lengthPrefixed(lengthBytes);
            w.lengthPrefixed(body, lengthBytes);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t ops = std::min<std::size_t>(data[0], size - 1);
    const qm::ByteView program(data + 1, ops);
    const qm::ByteView buffer(data + 1 + ops, size - 1 - ops);

    qm::BinaryReader reader(buffer);
    qm::BinaryWriter writer;
    for (std::uint8_t op : program) {
        const std::size_t before = reader.remaining();
        const std::size_t written = writer.data().size();
        try {
            step(op, reader, writer);
            check(before - reader.remaining() == writer.data().size() - written);
        } catch (const qm::BinaryError&) {
            check(reader.remaining() == before);
            check(writer.data().size() == written);
        }
    }
    const std::size_t consumed = buffer.size() - reader.remaining();
    check(writer.data().size() == consumed);
    check(std::equal(writer.data().begin(), writer.data().end(), buffer.begin()));
    return 0;
}
