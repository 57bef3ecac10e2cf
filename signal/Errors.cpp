#include "signal/Errors.h"

#include <cfenv>
#include <cmath>

namespace sonavir {

namespace {

std::string WithoutNul(const std::string& text)
{
    if (text.find('\0') == std::string::npos) return text;
    std::string out;
    for (char c : text) out += c == '\0' ? std::string("\\x00") : std::string(1, c);
    return out;
}

}  // namespace

SonavirError::SonavirError(const std::string& what) : std::runtime_error(WithoutNul(what)) {}

void RaiseDivByZero() { throw SonavirError(msg::kDivByZero); }
void RaiseInvalidOp() { throw SonavirError(msg::kInvalidOp); }
void RaiseOverflow() { throw SonavirError(msg::kOverflow); }
void RaiseOutOfMemory() { throw SonavirError(msg::kOutOfMemory); }

long double CheckFinite(long double x)
{
    if (std::isnan(x)) RaiseInvalidOp();
    if (std::isinf(x)) RaiseOverflow();
    return x;
}

long double CheckedDiv(long double a, long double b)
{
    if (std::isnan(a) || std::isnan(b)) RaiseInvalidOp();
    if (b == 0) {
        if (a == 0) RaiseInvalidOp();
        RaiseDivByZero();
    }
    return CheckFinite(a / b);
}

long double CheckedLn(long double x)
{
    if (std::isnan(x) || x < 0) RaiseInvalidOp();
    if (x == 0) RaiseDivByZero();
    return CheckFinite(std::log(x));
}

long double CheckedSqrt(long double x)
{
    if (std::isnan(x) || x < 0) RaiseInvalidOp();
    return CheckFinite(std::sqrt(x));
}

long double CheckedExp(long double x)
{
    if (std::isnan(x)) RaiseInvalidOp();
    return CheckFinite(std::exp(x));
}

FpFlagGuard::FpFlagGuard()
{
    std::feclearexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
}

void FpFlagGuard::Check() const
{
    const int raised = std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    if (raised & FE_INVALID) RaiseInvalidOp();
    if (raised & FE_DIVBYZERO) RaiseDivByZero();
    if (raised & FE_OVERFLOW) RaiseOverflow();
}

}  // namespace sonavir
