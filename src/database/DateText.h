// Date values as text: the ISO text servers give (SQLite's date strings,
// PostgreSQL's ISO output) read into parts, and the "mm/dd/yyyy hh:mi:ss"
// text the drivers hand to the fetch, which re-edits it as dd/mm/yyyy.
#pragma once

// Longest text a date gives: "mm/dd/yyyy hh:mi:ss" and its terminator, with
// room for a year of more than four digits.
constexpr int kDateValueTextSize = 32;

// A calendar date and time of day.
struct DateParts {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

// Read ISO date text: 'YYYY-MM-DD', optionally followed by a blank or "T"
// and 'HH:MM', 'HH:MM:SS' or 'HH:MM:SS.fff'. With exact set only the two
// shapes 'YYYY-MM-DD' and 'YYYY-MM-DD HH:MM:SS' qualify. Fields out of
// their ranges are no date.
bool parseIsoDate(const char *text, int length, bool exact, DateParts *date);

// The text a date value gives: "mm/dd/yyyy hh:mi:ss". Returns the length.
int formatDateText(const DateParts &date, char *out);
