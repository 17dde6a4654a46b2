// Calendar dates, clock times and the compact timestamp the queue and schedule code store:
// unsigned 32-bit seconds since 1994-01-01 00:00:00 local time.
//
// Dates use the proleptic Gregorian calendar; a day always has 86400 seconds (no leap
// seconds, no daylight-saving gaps: these are wall-clock values, not instants).
// Text parsing reads fixed character positions only and validates the result; it never
// reads past the text it is given.
#pragma once

#include <cstdint>

#include "base/Str.h"

namespace quillet {

// A calendar date. dayOfWeek is 1 for Sunday through 7 for Saturday (as dayOfWeek()
// computes it), 0 when not known. All zero means no date.
struct Date {
  uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
};

// A clock time. All zero is midnight or no time.
struct Time {
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// A local date and time; Timer{} is all zero, now() of base/Clock.h gives the current one.
struct Timer {
  Date date;
  Time time;
};
using TimerDate = Date;
using TimerTime = Time;

// Dates are equal when year, month and day are; dayOfWeek follows from them.
bool operator==(const Date& a, const Date& b);
// Times are equal when all four fields are, milliseconds included.
bool operator==(const Time& a, const Time& b);

// --- dates ---

// True for a real calendar date: no zero field, month 1..12, day within the month
// (February 29 only in Gregorian leap years).
[[nodiscard]] bool isValidDate(const Date& date);
[[nodiscard]] bool isLeapYear(int year);
// Julian day number (2000-01-01 is 2451545); 0 when a field is zero, -1 when invalid.
[[nodiscard]] int32_t dayNumber(const Date& date);
// The date of a Julian day number (with its dayOfWeek); all zero for numbers below 1721426
// (before 0001-01-01) or after 9999-12-31.
[[nodiscard]] Date dateFromDayNumber(int32_t number);
// 1 Sunday .. 7 Saturday; 0 for an invalid date.
[[nodiscard]] int dayOfWeek(const Date& date);

// --- timestamps ---

// Seconds since 1994-01-01 00:00:00 of the given local date and time; 0 for dates before
// 1994 and for invalid dates. Milliseconds are ignored.
[[nodiscard]] uint32_t toTimestamp(const Date& date, const Time& time);
// The inverse of toTimestamp (milliseconds 0, dayOfWeek filled in).
void fromTimestamp(uint32_t seconds, Date& date, Time& time);

// --- times ---

// Hour at most 23, minute and second at most 59.
[[nodiscard]] bool isValidTime(const Time& time);
// Copies source into target when source is valid; otherwise leaves target unchanged and
// returns false.
[[nodiscard]] bool assignTime(Time& target, const Time& source);
// hour * 3600 + minute * 60 + second.
[[nodiscard]] int secondsOfDay(const Time& time);
// The time of day n seconds after midnight; n above 86400 is taken modulo a day. Returns
// false (time unchanged) for n of 0 or below.
[[nodiscard]] bool timeFromSeconds(int64_t n, Time& time);

// --- text ---

// "HH:MM" or "HH:MM:SS" by position: hour from characters 1-2, minute from 4-5 and, when the
// text has at least 8 characters, second from 7-8 (each read like C atoi). Needs at least 5
// characters and a valid result; otherwise false and time unchanged.
[[nodiscard]] bool parseTime(const Str& text, Time& time);
// "YYYYMMDD" by position. Needs at least 8 characters and a valid date; otherwise false and
// date unchanged. Fills in dayOfWeek.
[[nodiscard]] bool parseDate(const Str& text, Date& date);
// Zero-padded numbers: 1 YY-MM-DD, 2 YYYY-MM-DD, 3 DD.MM.YY, 4 DD.MM.YYYY, 5 MM/DD/YY,
// 6 MM/DD/YYYY, 7 YYYYMMDD, 8 YYYY/MM/DD; any other format gives an empty text.
[[nodiscard]] Str formatDate(const Date& date, int format);
// Two-digit fields: 1 HH:MM, 2 HH:MM:SS, 3 HHMM, any other HHMMSS.
[[nodiscard]] Str formatTime(const Time& time, int format);

// Waits until the clock's second changes, then until it has advanced by n more seconds,
// looking every 300 ms (base/Clock.h: a moved test clock ends it at the next look). Ends
// early when the process is asked to stop (ProcessContext running flag cleared), and
// never lasts much longer than n + 1 seconds of the monotonic reading even when the date
// is set back meanwhile.
void waitSeconds(int n);

}  // namespace quillet
