// The standard library's own failures (a string too long, a position out of
// range, no memory), thrown as light exceptions.
//
// libstdc++ raises them through the std::__throw_* functions, which live in
// one archive member together with every standard exception class, and
// those bring a second std::string implementation along: about 30 KiB of the
// i686 program. Defined here, the program's own definitions are the ones
// linked. The error traps report them exactly as before: number 5 with the
// library's text, or 7 "Out of memory".
#include <exception>
#include <new>

namespace {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* text) : text_(text) {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char* text) { throw LibraryError(text); }
void __throw_logic_error(const char* text) { throw LibraryError(text); }
// The format's arguments are left out; the text still names the operation.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }

}  // namespace std
