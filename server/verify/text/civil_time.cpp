#include "server/verify/text/civil_time.h"

#include <cstdio>

namespace korvel::verify {

int64_t secondsSinceEpoch(const CivilTime& time) {
  // Days from 1970-01-01 to the date, counting years from March so that the
  // leap day ends a year.
  int64_t year = time.year - (time.month <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t month = time.month > 2 ? time.month - 3 : time.month + 9;
  const int64_t dayOfYear = (153 * month + 2) / 5 + time.day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t days = era * 146097 + dayOfEra - 719468;
  return days * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
}

std::string iso8601Utc(const CivilTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return text;
}

}  // namespace korvel::verify
