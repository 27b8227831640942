// The helpers through which the standard containers and strings throw. The runtime's own give
// the standard error types (length_error, out_of_range, ...) a reference-counted string inside,
// which brings a second implementation of std::string and its kin into the program (some 50 KiB).
// No handler in this program names those types: each catches std::bad_alloc, std::exception or
// everything. So a failed allocation still throws std::bad_alloc, and the errors that report a
// misuse throw one type derived from std::exception that keeps the library's message, which every
// handler that caught them before still catches, and no other.
// Only this program is linked with these; the test programs keep the runtime's own.

#include <bits/functexcept.h>

#include <exception>
#include <new>
#include <typeinfo>

namespace {

class MisuseError final : public std::exception {
  public:
    explicit MisuseError(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

  private:
    const char* message_;  // the library's messages are literals
};

[[noreturn]] void ThrowMisuse(const char* message) {
    throw MisuseError(message);
}

}  // namespace

namespace std {

void __throw_bad_exception() {
    throw bad_exception();
}
void __throw_bad_alloc() {
    throw bad_alloc();
}
void __throw_bad_array_new_length() {
    throw bad_array_new_length();
}
void __throw_bad_cast() {
    throw bad_cast();
}
void __throw_bad_typeid() {
    throw bad_typeid();
}
void __throw_logic_error(const char* message) {
    ThrowMisuse(message);
}
void __throw_domain_error(const char* message) {
    ThrowMisuse(message);
}
void __throw_invalid_argument(const char* message) {
    ThrowMisuse(message);
}
void __throw_length_error(const char* message) {
    ThrowMisuse(message);
}
void __throw_out_of_range(const char* message) {
    ThrowMisuse(message);
}
// The message stays unformatted: nothing here shows it.
void __throw_out_of_range_fmt(const char* format, ...) {
    ThrowMisuse(format);
}
void __throw_runtime_error(const char* message) {
    ThrowMisuse(message);
}
void __throw_range_error(const char* message) {
    ThrowMisuse(message);
}
void __throw_overflow_error(const char* message) {
    ThrowMisuse(message);
}
void __throw_underflow_error(const char* message) {
    ThrowMisuse(message);
}

}  // namespace std
