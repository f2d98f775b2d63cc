// Reads each file named on the command line as "Add curve from file..." does and prints one
// line per file: its name and whether it was taken. Files are named on stderr before they are
// read, so that a crash names the input that caused it.
#include "MessageText.h"
#include "document/CurveTable.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    int nBad = 0;
    for (int i = 1; i < argc; ++i) {
        std::fprintf(stderr, "reading %s\n", argv[i]);
        const CCurveTable table = ReadCurveTable(argv[i]);
        // A table taken is rectangular; a refusal says why, in readable text of a message
        // box's length whatever the file holds.
        const std::size_t nMaxMessage = std::strlen(argv[i]) + 600;
        bool bSound =
            table.m_bOk ? table.m_vecColumns.size() == table.m_vecNames.size() &&
                              table.m_vecColumns.size() >= 2 && table.m_vecColumns[0].size() >= 2
                        : !table.m_strMessage.empty() && table.m_strMessage.size() <= nMaxMessage &&
                              IsValidUtf8(table.m_strMessage);
        for (const auto& column : table.m_vecColumns)
            bSound = bSound && column.size() == table.m_vecColumns[0].size();
        if (!bSound)
            ++nBad;
        std::printf("%s\t%s\t%s\n", argv[i], table.m_bOk ? "ok" : "refused",
                    bSound ? table.m_strMessage.c_str() : "UNSOUND");
    }
    return nBad == 0 ? 0 : 1;
}
