// UTF-8 text as a terminal shows it: characters, print cells and display
// columns. Widths and grapheme boundaries come from utf8proc, never from the
// process locale, so a job sets the same pages in any environment.
//
// A byte that does not begin a valid UTF-8 sequence is a legacy single-byte
// character (old Latin-1 data): one cell of one column, written unchanged.
#pragma once

// A print cell: one grapheme cluster (a base character with its combining
// marks) of one or two columns, or one byte that is not valid UTF-8.
struct TextCell {
  int bytes = 0;
  int columns = 0;
};

// Bytes of the character that begins text (1 to 4; 1 for a byte that is
// not valid UTF-8). length must be at least 1.
int utf8CharBytes(const char *text, int length);

// The cell that begins text (length at least 1). A cluster without width
// (a combining mark with no base, a zero-width space) joins the cell before
// it, or at the start of the text the cell after it; text made of nothing
// else is one cell of one column.
TextCell nextTextCell(const char *text, int length);

// The UTF-8 byte-order mark that some editors write at the start of a file:
// no part of a script or of formatter input.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr int kByteOrderMarkBytes = 3;

// True when every byte is below 128: every byte is then a cell of one column.
bool isAsciiText(const char *text, int length);

// Display columns of text.
int displayColumns(const char *text, int length);

// Bytes of the longest leading run of whole cells at most `columns` wide;
// its width goes to *width.
int fitColumns(const char *text, int length, int columns, int *width);

// Bytes of the longest leading run of whole cells at most maxBytes long: a
// cut that never splits a character or a base from its combining marks.
int fitBytes(const char *text, int length, int maxBytes);
