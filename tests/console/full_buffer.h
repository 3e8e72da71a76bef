// An output whose writes fail after a given number of characters, as a full disk or a closed
// pipe makes them fail.
#pragma once

#include <streambuf>
#include <string>

namespace kestrane::testing_support {

class FullBuffer : public std::streambuf {
  public:
    explicit FullBuffer(std::size_t room) : room_(room) {}
    std::string written;

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (written.size() >= room_) return traits_type::eof();
        written += traits_type::to_char_type(c);
        return c;
    }

  private:
    std::size_t room_;
};

}  // namespace kestrane::testing_support
