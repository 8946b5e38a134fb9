// What every input to the I-code decoder must satisfy: it is read to the
// end or refused with a message, and when its text form can be made,
// assembling that text gives back the input.  Shared by the fuzz target
// and the regression test of saved fuzzer findings.
#pragma once

#include "icode/record_reader.h"
#include "icode/text/assembler.h"
#include "icode/text/disassembler.h"
#include "support/termination.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace vx::icode::fuzzing {

enum class InputFate { not_icode, refused, layout_not_shown, round_tripped };

// Reads every section the way the optimizer's reader does.
inline void read_all_sections(IcodeStream& stream) {
    for (Section section : {FILENAME_SECTION, TYPE_SECTION, SYMBOL_SECTION, INIT_SECTION,
                            PRAGMA_SECTION, MAIN_PART}) {
        if (!stream.has(section))
            continue;
        RecordReader reader(stream, section);
        reader.set_report_unknown_kinds(false);
        while (reader.next())
            continue;
    }
}

// Needs the throwing stop handler installed.  A broken law aborts.
inline InputFate check_icode_input(std::string_view bytes) {
    auto stream = IcodeStream::open(bytes);
    if (!stream)
        return InputFate::not_icode;
    try {
        read_all_sections(*stream);
        auto fresh = IcodeStream::open(bytes);
        std::string text;
        std::string error;
        if (!text::disassemble(*fresh, text, error))
            return InputFate::layout_not_shown;
        if (text::assemble(text) != bytes)
            std::abort();
        return InputFate::round_tripped;
    } catch (const RunStopped& stop) {
        if (stop.status != 1)
            std::abort();
        return InputFate::refused;
    } catch (const text::TextError&) {
        std::abort(); // the disassembler wrote a text the assembler refuses
    }
}

} // namespace vx::icode::fuzzing
