#include "shell/program_state.h"

#include "grades/grade_store.h"
#include "platform/codepage.h"

#include <QList>

ProgramState& programState()
{
    static ProgramState state;
    return state;
}

void resetProgramState()
{
    programState() = ProgramState{};
}

QString trimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

int bytelen(const QString& text)
{
    ProgramState& state = programState();
    state.doubleByte = false;
    int count = 0;
    for (char32_t ucs4 : trimSpaces(text).toUcs4()) {
        const auto code = CodePage::charCode(ucs4);
        if (!code || *code < 0) {
            count += 2;
            state.doubleByte = true;
        } else {
            count += 1;
        }
    }
    return count;
}

GradeStore opendb()
{
    return GradeStore::open(programState().appFolder);
}
