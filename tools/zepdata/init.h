// zepdata init: a new, empty installation of the module, ready for its data to be loaded.
#ifndef PALVORIN_TOOLS_ZEPDATA_INIT_H_
#define PALVORIN_TOOLS_ZEPDATA_INIT_H_

#include <string>
#include <vector>

namespace palvorin {

// Runs "zepdata init" on the words after "init": ROOT --name NAME [--language CODE].
// Creates at ROOT the installation root of the programs this tool belongs to (the folder that
// holds its exe/): links to their FORMS, LOCALE, AJUDA and ddf folders, DADES with every data
// file created empty from its dictionary and HParam.tab with the defaults, tmp/ for the
// operators' own temporary folders, and Kora.ini last, holding the company name and the
// customary number and date formats. Prints the line that starts the module on it. Refuses a
// ROOT that holds Kora.ini, DADES or any of those folders already, and removes whatever it made
// when it cannot finish. Returns the exit code: 0, 1 failed, 2 bad arguments.
int RunInit(const std::vector<std::string>& words);

}  // namespace palvorin

#endif  // PALVORIN_TOOLS_ZEPDATA_INIT_H_
