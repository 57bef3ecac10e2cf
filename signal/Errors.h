#pragma once
// One failure type for the whole program. A failure ends the current action
// (an event handler, a run, a command) and its text is shown to the user as
// it stands, so the texts below are part of the interface.

#include <stdexcept>
#include <string>

namespace sonavir {

class SonavirError : public std::runtime_error {
public:
    // A NUL byte in the text (a file's bytes quoted in a message) is kept as
    // the four characters \x00, as the other control characters are shown:
    // what() is a C string and would end there.
    explicit SonavirError(const std::string& what);
    explicit SonavirError(const char* what) : std::runtime_error(what) {}
};

namespace msg {
inline constexpr const char* kDivByZero = "Floating point division by zero";
inline constexpr const char* kInvalidOp = "Invalid floating point operation";
inline constexpr const char* kOverflow = "Floating point overflow";
inline constexpr const char* kOutOfMemory = "Out of memory";
}  // namespace msg

[[noreturn]] void RaiseDivByZero();
[[noreturn]] void RaiseInvalidOp();
[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseOutOfMemory();

// Arithmetic never traps in C++, so every operation that could divide by zero,
// take the logarithm of a non-positive number or overflow goes through these,
// and no NaN or infinity ever reaches a buffer, a picture or a table.

// a / b: 0/0 (or NaN) is an invalid operation, x/0 a division by zero, an
// infinite quotient an overflow.
long double CheckedDiv(long double a, long double b);
// ln x: ln 0 is a division by zero, ln of a negative number an invalid operation.
long double CheckedLn(long double x);
// sqrt x: negative x is an invalid operation.
long double CheckedSqrt(long double x);
// exp x: an infinite result is an overflow; underflow to 0 stays silent.
long double CheckedExp(long double x);
// Any result: NaN is an invalid operation, infinity an overflow.
long double CheckFinite(long double x);

// For hot loops that cannot afford a test per value: clear the sticky flags
// of <cfenv> before the loop, call Check() after it. Only division by zero,
// invalid operation and overflow are reported; underflow and inexact results
// stay silent. Flags are per thread: a worker thread checks its own.
class FpFlagGuard {
public:
    FpFlagGuard();
    void Check() const;  // throws the matching SonavirError
};

}  // namespace sonavir
