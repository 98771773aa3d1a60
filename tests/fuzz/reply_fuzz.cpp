// Fuzz target: the bytes are a server's control stream, cut into pieces of varying size.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/wininet/parsers.h"

using wininet::detail::ReplyParser;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 64 + 1;
    std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    ReplyParser parser;
    while (!stream.empty()) {
        std::string_view chunk = stream.substr(0, piece);
        while (!chunk.empty()) {
            std::size_t used = 0;
            auto state = parser.Feed(chunk, used);
            if (used > chunk.size()) __builtin_trap();
            chunk.remove_prefix(used);
            if (state == ReplyParser::State::Bad) return 0;
            if (state != ReplyParser::State::Done) break;
            auto reply = parser.Take();
            if (reply.code < 100 || reply.code > 599) __builtin_trap();
            if (reply.text.size() > ReplyParser::kMaxReply) __builtin_trap();
            wininet::detail::ParsePasvPort(reply.text);
            wininet::detail::ParseEpsvPort(reply.text);
            wininet::detail::ParsePwdReply(reply.text);
            wininet::detail::FeatOffersMlsd(reply.text);
            wininet::detail::ParseTransferSize(reply.text);
        }
        stream.remove_prefix(std::min(piece, stream.size()));
    }
    return 0;
}
