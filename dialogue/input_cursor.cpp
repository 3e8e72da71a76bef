#include "input_cursor.h"

namespace kestrane {

int InputCursor::fetch() {
    using traits = std::streambuf::traits_type;
    if (buffer_ == nullptr) return kEnd;
    const auto raw = buffer_->sbumpc();
    if (traits::eq_int_type(raw, traits::eof())) return kEnd;
    const int c = traits::to_int_type(traits::to_char_type(raw)) & 0xFF;
    if (c == '\r' && traits::eq_int_type(buffer_->sgetc(), traits::to_int_type('\n'))) {
        buffer_->sbumpc();
        return '\n';
    }
    return c;
}

int InputCursor::peek() {
    if (put_back_ != kNone) return put_back_;
    if (look_ahead_ == kNone) look_ahead_ = fetch();
    return look_ahead_;
}

int InputCursor::take() {
    if (put_back_ != kNone) {
        const int c = put_back_;
        put_back_ = kNone;
        ++taken_;
        return c;
    }
    const int c = peek();
    if (c != kEnd) {
        look_ahead_ = kNone;
        ++taken_;
    }
    return c;
}

void InputCursor::drop_line() {
    for (int c = take(); c != kEnd && c != '\n'; c = take()) {
    }
}

}  // namespace kestrane
