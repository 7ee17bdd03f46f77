// Variables and expressions: the variable table and the statements that
// declare, assign, compute, ask for, tell and print values.
#pragma once

#include <cstdio>

struct Job;
struct Variable;
struct Operand;
struct ScriptLine;

constexpr int kMaxVariables = 300;
constexpr int kNameStoreSize = 10000;
constexpr int kPictureStoreSize = 10000;
constexpr int kTextStoreSize = 100000;
constexpr int kNumberTextSize = 100;    // working texts of numbers and pictures
constexpr int kServerTextSize = 100;    // destination of fetchServerDate/Time
constexpr int kVariableHashSize = 512;  // buckets of the name index (a power of 2)

enum class VariableKind { Text = 0, Real = 1, Integer = 2 };

// A numeric picture as read once at its declaration: the flags in front,
// then the editing part (cut to the work area) and where its point stands.
struct PictureLayout {
  bool dollarSign = false;
  bool blankWhenZero = false;
  bool showsDigits = false;             // the editing part has a 9 or a 0
  short body = 0;                       // offset of the editing part in the picture
  short width = 0;                      // its length
  short positions = 0;                  // its characters before the point
  short decimals = 0;                   // after the point (0 without one)
};

struct Variable {
  char *name = nullptr;                 // upper case, in the name store
  VariableKind kind = VariableKind::Text;
  int textLength = 0;                   // Text: maximum characters; else 0
  char *picture = nullptr;              // declared type word, upper case
  PictureLayout layout;                 // the picture, read (numbers only)
  char *textValue = nullptr;            // Text only: textLength + 1 bytes
  double realValue = 0;
  int intValue = 0;
  int isNull = 1;
};

struct VariableTable {
  int count = 0;
  Variable entries[kMaxVariables];
  char nameStore[kNameStoreSize] = {};
  int nameUsed = 0;
  char pictureStore[kPictureStoreSize] = {};
  int pictureUsed = 0;
  char textStore[kTextStoreSize] = {};
  int textUsed = 0;
  // Name index beside the table: findVariable runs once per substituted
  // value on the row path. Holds index + 1 (0 ends a chain); only the first
  // declaration of a name is indexed, so the first one is found.
  int hashHead[kVariableHashSize] = {};
  int hashNext[kMaxVariables] = {};
  char lastDivisorAnswer = 0;           // first letter of the last zero-divisor answer; 0 before any
};

// Index of the variable of that (already folded) name, or -1.
int findVariable(Job &job, const char *name);
// The variable a statement word names: the word is folded to upper case; an
// unknown name fails with "Variable name Wrong\n" and the line.
int requireVariable(Job &job, char *word, const char *line);
// The variable a statement's operand names, or -1: found by its folded
// word, then kept in the operand for the next runs of the line.
int operandVariable(Job &job, Operand &operand);
// The same, an unknown name failing with "Variable name Wrong\n" and the line.
int requireOperandVariable(Job &job, Operand &operand, const char *line);

void execDeclare(Job &job, const ScriptLine &line);
void execSet(Job &job, const ScriptLine &line);
void execEqual(Job &job, const ScriptLine &line);
void execCalc(Job &job, const ScriptLine &line, char operation);  // 'A', 'S', 'M' or 'D'
void execTell(Job &job, const ScriptLine &line);
void execAsk(Job &job, const ScriptLine &line);
void execPrint(Job &job, const ScriptLine &line);

// Collapse blank runs to one blank, drop leading and trailing blanks;
// returns the new length.
int squeezeBlanks(char *text);
// "%12d" or "%20.14g" squeezed, into out (kNumberTextSize bytes); returns
// its length.
int numberText(const Variable &variable, char *out);
// The layout of a picture, for the variable declared with it.
PictureLayout readPicture(const char *picture);
// Edit a numeric variable by its picture (as its layout has it) into out
// (kNumberTextSize bytes).
// A number whose digits or sign do not all find a place prints as '#'
// filling the picture's width. Returns the length of the text.
int applyPicture(const Variable &variable, char *out);

// The bytes printf gives for "%*d", "%*.*g" and "%*.*f" (C locale), into out
// of size bytes with the terminating zero; returns the length, or -1 when
// the text does not fit (out then holds no text to rely on).
int formatInteger(char *out, int size, long long value, int width);
int formatGeneral(char *out, int size, double value, int width, int precision);
int formatFixed(char *out, int size, double value, int width, int decimals);
// Store text in a Text variable, cut to its textLength.
void storeText(Variable &variable, const char *text);
// The same for a text of the given length (not zero-terminated).
void storeTextSpan(Variable &variable, const char *text, int length);

// A Real value truncated toward zero for an Integer: clamped to the 32-bit
// range, NaN gives 0.
int realToInt(double value);

// Console reading, one item at a time as "%d", "%lg" and "%s" read it:
// leading white space is skipped and what follows the item stays in the
// stream. False (or -1) when nothing can be converted or the input is at
// its end.
bool readConsoleInt(FILE *in, int &value);
bool readConsoleReal(FILE *in, double &value);
// One word into buffer, cut to size - 1 bytes (the rest of the word is
// read and dropped); returns the word's whole length, -1 at the end.
int readConsoleWord(FILE *in, char *buffer, int size);
// The console on a file descriptor: a read waits for input or for a stop
// request, whichever comes first, so that a stopped job does not hang on a
// question. The descriptor is closed with the stream when owned.
FILE *openConsoleStream(int fd, bool owned);

void fetchServerDate(Job &job, char *destination);
void fetchServerTime(Job &job, char *destination);
