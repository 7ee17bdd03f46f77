// The program's loadable modules: the PDF renderer and the server drivers,
// whose libraries a job maps only when it needs them.
#pragma once

#include <string>

// The entry function of a module, loaded on first use and kept to the end
// of the process. A module is found by its full path, beside the program
// (the build tree) or in ../libexec/kelvordantix from the program's
// directory (installed): no linker path, no ldconfig. what names the
// module for the user ("PDF", "PostgreSQL"), file its file name
// ("kelvordantix-pdf.so"), entry its C entry. nullptr with *why set when
// the module is missing, does not load or has no such entry.
void *moduleEntry(const char *what, const char *file, const char *entry, std::string *why);
