#include "kestrane/console/input_cursor.h"

#include <cerrno>
#include <system_error>

#include "kestrane/numeric/contract.h"

namespace kestrane {

int InputCursor::fetch_byte() {
    using traits = std::streambuf::traits_type;
    if (buffer_ == nullptr) return kEnd;
    traits::int_type raw = traits::eof();
    try {
        raw = buffer_->sbumpc();
    } catch (const std::system_error& error) {
        // A stream buffer over a file reports a read error by throwing (ios_base::failure, a
        // system_error with the system's error number); the input ends here.
        read_error_ = error.code().value() != 0 ? error.code().value() : EIO;
    } catch (...) {
        read_error_ = EIO;
    }
    if (traits::eq_int_type(raw, traits::eof())) {
        buffer_ = nullptr;
        return kEnd;
    }
    return traits::to_int_type(traits::to_char_type(raw)) & 0xFF;
}

int InputCursor::fetch() {
    int c = fetch_byte();
    if (after_carriage_return_ && c == '\n') c = fetch_byte();
    after_carriage_return_ = c == '\r';
    return after_carriage_return_ ? '\n' : c;
}

int InputCursor::peek() {
    if (put_back_ != kNone) return put_back_;
    if (look_ahead_ == kNone) look_ahead_ = fetch();
    return look_ahead_;
}

int InputCursor::take() {
    const int c = peek();
    if (put_back_ != kNone) {
        put_back_ = kNone;
    } else if (c != kEnd) {
        look_ahead_ = kNone;
    }
    if (c != kEnd) ++taken_;
    return c;
}

void InputCursor::put_back(int c) {
    KESTRANE_EXPECT(put_back_ == kNone && "one character can be put back at a time");
    put_back_ = c;
    --taken_;
}

std::string InputCursor::drop_line() {
    std::string dropped;
    for (int c = take(); c != kEnd && c != '\n'; c = take())
        dropped += static_cast<char>(c);
    return dropped;
}

}  // namespace kestrane
