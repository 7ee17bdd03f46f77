// The arithmetic statements .ADD, .SUB, .MUL and .DIV, with the console
// question on a zero divisor.
//
// Integer results are 32-bit two's complement wrapping modulo 2^32, done in
// unsigned arithmetic so that nothing overflows. The one quotient that does
// not fit, INT_MIN / -1, wraps the same way and gives INT_MIN. A Real operand
// taken for an Integer target is truncated toward zero and clamped to
// INT_MIN..INT_MAX (NaN gives 0), as realToInt does.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "driver/Signals.h"

// The real divisor counts as zero up to this magnitude.
constexpr double kRealZero = 0.00005;
constexpr int kAnswerSize = 100;

// One operand by the target's kind: a variable (Text refused, null counts
// as zero) or else a number written in the statement.
static void readOperand(Job &job, Operand &word, bool realTarget, Msg typeMessage,
                        double &real, int &integer) {
  int index = operandVariable(job, word);
  if (index >= 0) {
    const Variable &operand = job.vars.entries[index];
    if (operand.kind == VariableKind::Text)
      failWith(job, typeMessage, job.line.lineBuffer, formatMessage(Msg::CauseTextInArithmetic, operand.name));
    real = 0;
    integer = 0;
    if (operand.isNull) return;
    if (realTarget) {
      real = operand.kind == VariableKind::Real ? operand.realValue : operand.intValue;
    } else {
      integer = operand.kind == VariableKind::Integer ? operand.intValue
                                                      : realToInt(operand.realValue);
    }
    return;
  }
  if (!(realTarget ? word.isReal : word.isInteger))
    failWith(job, Msg::IllegalNumber, job.line.lineBuffer, notAnOperand(job, word.word));
  if (realTarget) {
    real = word.real;
  } else {
    integer = word.integer;
  }
}

// The question after a zero divisor. "y" or "Y" leaves the target null with
// its old value; anything else ends the job. At the end of the input the
// previous answer of the job counts again (none: the job is abandoned).
static void askZeroDivisor(Job &job, Variable &target) {
  writeMessage(job, Msg::SecondVariableZero);
  writeMessage(job, target.kind == VariableKind::Real ? Msg::ZeroQuestionReal : Msg::ZeroQuestionInteger);
  char answer[kAnswerSize];
  bool answered = readConsoleWord(job.job.console, answer, kAnswerSize) >= 0;
  if (answered) job.vars.lastDivisorAnswer = answer[0];
  checkStop(job);
  char letter = job.vars.lastDivisorAnswer;
  if (letter != 'y' && letter != 'Y') {
    if (answered) {
      setCause(job, formatMessage(Msg::CauseDivisorAnswer, answer));
    } else if (letter == 0) {
      setCause(job, messageText(Msg::CauseNoAnswer));
    } else {
      const char previous[] = {letter, 0};
      setCause(job, formatMessage(Msg::CauseNoAnswerAgain, previous));
    }
    abortJob(job);
  }
  target.isNull = 1;
}

static int wrapInt(uint32_t value) { return static_cast<int>(value); }  // modulo 2^32 since C++20

// .ADD / .SUB / .MUL / .DIV target operand1 operand2
void execCalc(Job &job, const ScriptLine &line, char operation) {
  if (line.wordCount < 4) failWith(job, Msg::CalcInvalid, job.line.lineBuffer);
  int index = requireOperandVariable(job, line.args[0], job.line.lineBuffer);
  Variable &target = job.vars.entries[index];
  if (target.kind == VariableKind::Text)
    failWith(job, Msg::VariableTypeWrong, job.line.lineBuffer, formatMessage(Msg::CauseTextInArithmetic, target.name));
  target.isNull = 0;

  bool realTarget = target.kind == VariableKind::Real;
  double real1 = 0, real2 = 0;
  int int1 = 0, int2 = 0;
  readOperand(job, line.args[1], realTarget, Msg::SecondTypeWrong, real1, int1);
  readOperand(job, line.args[2], realTarget, Msg::ThirdTypeWrong, real2, int2);

  if (realTarget) {
    switch (operation) {
      case 'A': target.realValue = real1 + real2; break;
      case 'S': target.realValue = real1 - real2; break;
      case 'M': target.realValue = real1 * real2; break;
      case 'D':
        if (std::fabs(real2) <= kRealZero) {
          askZeroDivisor(job, target);
        } else {
          target.realValue = real1 / real2;
        }
        break;
      default: break;
    }
    return;
  }
  uint32_t a = static_cast<uint32_t>(int1), b = static_cast<uint32_t>(int2);
  switch (operation) {
    case 'A': target.intValue = wrapInt(a + b); break;
    case 'S': target.intValue = wrapInt(a - b); break;
    case 'M': target.intValue = wrapInt(a * b); break;
    case 'D':
      if (int2 == 0) {
        askZeroDivisor(job, target);
      } else if (int1 == INT_MIN && int2 == -1) {
        target.intValue = INT_MIN;
      } else {
        target.intValue = int1 / int2;
      }
      break;
    default: break;
  }
}
