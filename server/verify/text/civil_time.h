#pragma once
#include <cstdint>
#include <string>

namespace korvel::verify {

// A UTC calendar time as a certificate carries it.
struct CivilTime {
  int year;    // e.g. 2026
  int month;   // 1-12
  int day;     // 1-31
  int hour;    // 0-23
  int minute;  // 0-59
  int second;  // 0-60
};

// Seconds since 1970-01-01 00:00:00 UTC (proleptic Gregorian, no leap seconds).
int64_t secondsSinceEpoch(const CivilTime& time);

// "YYYY-MM-DDTHH:MM:SSZ".
std::string iso8601Utc(const CivilTime& time);

}  // namespace korvel::verify
