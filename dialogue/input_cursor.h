// Character-at-a-time reading of the console with one character of look-ahead.
#pragma once

#include <istream>
#include <streambuf>

namespace kestrane {

// Reads characters from a stream buffer as text: a carriage return right before a line feed
// is dropped. One character taken last can be put back. Never throws.
class InputCursor {
  public:
    static constexpr int kEnd = -1;

    explicit InputCursor(std::istream& in) : buffer_(in.rdbuf()) {}

    // The next character (0..255) without taking it, or kEnd at the end of input.
    int peek();
    // Takes and returns the next character, or kEnd.
    int take();
    // Puts back `c`, the character just taken; the next peek or take returns it. At most one
    // character is put back at a time.
    void put_back(int c) {
        put_back_ = c;
        --taken_;
    }
    // Takes everything up to and including the next line feed (or to the end of input).
    void drop_line();
    // Counts the characters taken so far (put-back ones not counted).
    long long taken() const { return taken_; }

  private:
    int fetch();

    static constexpr int kNone = -2;
    std::streambuf* buffer_;
    int put_back_ = kNone;  // a character given back, returned before the look-ahead
    int look_ahead_ = kNone;
    long long taken_ = 0;
};

}  // namespace kestrane
