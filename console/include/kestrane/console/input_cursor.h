// Character-at-a-time reading of the console with one character of look-ahead.
#pragma once

#include <istream>
#include <streambuf>
#include <string>

namespace kestrane {

// Reads characters from a stream buffer as text. A carriage return ends a line like a line
// feed and is returned as one; a line feed right after it is dropped when the next character
// is fetched, so a CR LF pair reads as one line feed without waiting to see what follows the
// CR. A read error of the stream buffer (it may throw) counts as the end of input, and so
// does everything after it. One character taken last can be put back. Never throws.
class InputCursor {
  public:
    static constexpr int kEnd = -1;

    explicit InputCursor(std::istream& in) : buffer_(in.rdbuf()) {}

    // The next character (0..255) without taking it, or kEnd at the end of input.
    int peek();
    // Takes and returns the next character, or kEnd.
    int take();
    // Puts back `c`, the character just taken; the next peek or take returns it. Only one
    // character can be held: a second put_back before a take is a precondition failure
    // (KESTRANE_EXPECT).
    void put_back(int c);
    // Takes everything up to and including the next line feed (or to the end of input) and
    // returns what came before the line feed.
    std::string drop_line();
    // Counts the characters taken so far (put-back ones not counted).
    long long taken() const { return taken_; }
    // The system's error number of the read error that ended the input (EISDIR for a
    // directory, EBADF for a closed descriptor), EIO when the stream buffer gave none; 0 when
    // the input has not ended in a read error.
    int read_error() const { return read_error_; }

  private:
    int fetch();
    int fetch_byte();

    static constexpr int kNone = -2;
    std::streambuf* buffer_;
    int put_back_ = kNone;  // a character given back, returned before the look-ahead
    int look_ahead_ = kNone;
    bool after_carriage_return_ = false;  // a line feed fetched next belongs to the CR
    long long taken_ = 0;
    int read_error_ = 0;
};

}  // namespace kestrane
