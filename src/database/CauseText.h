// The cause lines the database layer adds after a prescribed message or a
// server error block: every such text in one place.
#pragma once

// Where a server found its error in the statement, and its own further
// words, spelled as psql spells them.
constexpr char kCauseLineOfPlace[] = "LINE %d: ";
constexpr char kCauseCut[] = "...";
constexpr char kCauseDetail[] = "DETAIL:  ";
constexpr char kCauseHint[] = "HINT:  ";

// After "Variable name Wrong" when the "&" stands inside quoted text:
// %.*s is the "&" and the name as written.
constexpr char kCauseQuotedAmpersand[] =
    "%.*s inside quoted text is a variable reference; write && for a literal &\n";
