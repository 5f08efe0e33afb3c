// The texts of the trace (platform/tracing_platform.h): its lines and how
// they show bytes and numbers. Plain code, no printf family: the Windows
// program must stay small.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// One line of the trace, without its line end: the milliseconds since the
// start right-aligned in six places, " ms", two blanks and the event, whose
// control bytes (below 0x20, and 0x7F) are written \xNN (two upper-case hex
// digits). TraceLine(412, "port COM2 close") is "   412 ms  port COM2 close".
std::string TraceLine(std::uint64_t ms, std::string_view event);

// The parts one after the other: TraceJoin({"port ", name, " close"}).
std::string TraceJoin(std::initializer_list<std::string_view> parts);

// Bytes as data, in double quotation marks: printable ASCII as it is, but
// \\ and \" for the backslash and the quotation mark, \r, \n and \t, and
// \xNN (two upper-case hex digits) for every other byte.
std::string TraceQuoted(std::string_view bytes);

std::string TraceDecimal(std::uint64_t value);
// `value` in hex with at least `digits` digits, after "0x": "0x0407".
std::string TraceHex(std::uint64_t value, int digits);

// A number rounded to 15 significant digits, without trailing zeros: "1.5",
// "2", "123", "1.02", "-0.25"; from 1e15 on and below 1e-5 with an
// exponent ("1.5e+20", "2e-7"); "inf", "-inf" and "nan" as such.
std::string TraceNumber(double value);
