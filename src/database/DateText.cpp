// Date values as text: ISO text read into parts, and the text of a date
// value as the drivers give it to the fetch.
#include "database/DateText.h"

namespace {

// Read n digits at text; -1 when one is not a digit.
int readDigits(const char *text, int n) {
  int value = 0;
  for (int i = 0; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Two digits of value at out.
void putTwo(char *out, int value) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

bool parseIsoDate(const char *text, int length, bool exact, DateParts *date) {
  if (length < 10 || text[4] != '-' || text[7] != '-') return false;
  DateParts d;
  d.year = readDigits(text, 4);
  d.month = readDigits(text + 5, 2);
  d.day = readDigits(text + 8, 2);
  if (d.year < 0 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > daysInMonth(d.year, d.month)) return false;
  if (length > 10) {
    bool blank = text[10] == ' ';
    if (!blank && (exact || text[10] != 'T')) return false;
    if (length < 16 || text[13] != ':') return false;
    d.hour = readDigits(text + 11, 2);
    d.minute = readDigits(text + 14, 2);
    int end = 16;
    if (length > 16) {
      if (length < 19 || text[16] != ':') return false;
      d.second = readDigits(text + 17, 2);
      end = 19;
      if (length > 19 && text[19] == '.' && !exact) {
        end = 20;
        while (end < length && text[end] >= '0' && text[end] <= '9') ++end;
      }
    } else if (exact) {
      return false;
    }
    if (end != length) return false;
    if (d.hour < 0 || d.hour > 23 || d.minute < 0 || d.minute > 59 || d.second < 0 || d.second > 59) return false;
  }
  *date = d;
  return true;
}

int formatDateText(const DateParts &date, char *out) {
  putTwo(out, date.month);
  out[2] = '/';
  putTwo(out + 3, date.day);
  out[5] = '/';
  putTwo(out + 6, date.year / 100);
  putTwo(out + 8, date.year % 100);
  out[10] = ' ';
  putTwo(out + 11, date.hour);
  out[13] = ':';
  putTwo(out + 14, date.minute);
  out[16] = ':';
  putTwo(out + 17, date.second);
  out[19] = 0;
  return 19;
}
