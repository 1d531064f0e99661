#include "DeviceLink/SyncProtocol.h"

#include <algorithm>
#include <limits>

#include "DeviceLink/AdbMessage.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm::SyncProtocol {

Header request(std::string_view id, std::uint32_t argument) noexcept {
    Header header{};
    std::copy_n(id.begin(), std::min<std::size_t>(id.size(), 4), header.begin());
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<std::uint8_t>(argument >> (8 * i));
    }
    return header;
}

FileTransfer::FileTransfer(ByteView data, std::string_view path, std::uint32_t mode,
                           std::uint32_t mtime)
    : spec_(std::string(path) + "," + std::to_string(mode)) {
    if (spec_.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw AdbError::protocolViolation("sync path is too long");
    }
    const std::size_t pieces = (data.size() + maxPiece - 1) / maxPiece;
    headers_.reserve(pieces + 2);
    parts_.reserve(2 * pieces + 3);
    const auto add = [&](ByteView part) {
        parts_.push_back(part);
        byteCount_ += part.size();
    };
    add(headers_.emplace_back(request("SEND", static_cast<std::uint32_t>(spec_.size()))));
    add(asBytes(spec_));
    for (std::size_t start = 0; start < data.size(); start += maxPiece) {
        const ByteView piece = data.subspan(start, std::min(maxPiece, data.size() - start));
        add(headers_.emplace_back(request("DATA", static_cast<std::uint32_t>(piece.size()))));
        add(piece);
    }
    add(headers_.emplace_back(request("DONE", mtime)));
}

Bytes sendFile(ByteView data, std::string_view path, std::uint32_t mode, std::uint32_t mtime) {
    const FileTransfer transfer(data, path, mode, mtime);
    Bytes out(transfer.byteCount());
    auto at = out.begin();
    for (const ByteView part : transfer.parts()) {
        at = std::copy(part.begin(), part.end(), at);
    }
    return out;
}

Status parseStatus(ByteView header) {
    if (header.size() != headerByteCount) {
        throw AdbError::protocolViolation("sync response is " + std::to_string(header.size()) +
                                          " bytes, expected 8");
    }
    const std::string id = UnicodeText::decodeUTF8(header.first(4));
    if (id == "OKAY") {
        return {};
    }
    if (id == "FAIL") {
        return {Status::Kind::fail, LittleEndian::u32(header, 4)};
    }
    throw AdbError::protocolViolation("unexpected sync response '" + UnicodeText::excerpt(id) +
                                      "'");
}

}  // namespace qm::SyncProtocol
