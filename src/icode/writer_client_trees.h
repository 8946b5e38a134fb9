// Statement trees to tree records: the last conversions and checks of a
// tree before it is written (`wrtree`) and its encoding in preorder.
//
// wrtree, node by node:
//   - a NAME of a global symbol marks the symbol as named in the output
//     (flag bit 0x8000);
//   - UAND of a function's NAME, and every direct call, keep the function's
//     out-of-line body (it is unsuppressed, with a note in the information
//     file when it had been marked for suppression); a called function is
//     marked FUN_is_called;
//   - VRCONV and VSCONV become SCONV (a VSCONV must convert a vector to a
//     vector); ISP2CHAR becomes PCONV again;
//   - an ASSERT gets back the operand node it took the operands of;
//   - any other opcode from 163 on (CSE_DUPE, CSE_ORIG, 255 ...) cannot be
//     written: "\n\n   !!! Error in 'wrtree', opcode=%d %s !!!\n" and an
//     internal error.
// Encoding: an ICON of a type wider than 32 bits whose value is not the
// extension of its low 32 bits is written as LCON (decimal text).  A
// statement root's id is dropped; with "debug:keep_node_ids" a LABEL, QUEST
// or COLON that has an id is written inside an EPVAL that carries it.
#pragma once

#include "icode/opcode_table.h"
#include "icode/records.h"
#include "ir/function_info.h"
#include "ir/node.h"
#include "support/switches.h"

#include <deque>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vx::icode {

class IcodeWriter;

inline constexpr sw::SwitchHandle debug_keep_node_ids{"debug:keep_node_ids"};

class TreeEncoder {
public:
    // `function_name` names the function being written in notes.
    TreeEncoder(IcodeWriter& writer, std::string function_name);

    // Forgets the trees encoded so far.
    void reset();
    // Converts and encodes one tree after the ones encoded since reset();
    // `root` may be replaced.  Returns the tree's number.
    size_t encode(ir::NODE*& root, bool statement_root);
    Tree tree(size_t number) const;
    // The optimizer's node of each record of the tree (kept only when the
    // writer has a listing).
    std::span<const ir::NODE* const> sources(size_t number) const;

    // Converts one statement's tree and writes it straight to the output: a
    // statement record at `pos`, then the tree's records, each encoded as
    // its node is reached (nothing is kept for a listing).  The bytes are
    // those that encode() and writing its tree give.
    void write_statement(ir::NODE*& root, const SourcePos& pos);

private:
    template <class Visit> void walk(ir::NODE*& root, bool statement_root, Visit&& visit);
    void wrtree(ir::NODE* node);
    void keep_out_of_line(ir::Symbol* function);
    void note_call(ir::NODE* call);
    void emit(const ir::NODE* node);
    void write_node(const ir::NODE* node);
    bool write_short_node(const ir::NODE* node);
    void write_tree_records(ir::NODE*& root);
    char* encode_short_node(char* record, const ir::NODE* node, Payload payload);
    bool needs_id_wrapper(const ir::NODE* node) const;
    TreeNode record_of(const ir::NODE* node);
    TreeNode id_wrapper_of(const ir::NODE* node);
    void fill_payload(TreeNode& record, const ir::NODE* node);
    uint32_t member_index(const ir::NODE* field);
    uint32_t typeref(ir::TYPE* type);
    ir::FUNINFO* function_record(ir::Symbol* function);

    IcodeWriter& writer_;
    std::string function_name_;
    bool keep_ids_;
    bool listing_;
    std::vector<TreeNode> nodes_;
    std::vector<const ir::NODE*> sources_;
    std::vector<size_t> starts_;
    std::deque<std::string> texts_;
    std::vector<ir::NODE**> pending_;
    ir::TYPE* last_type_ = nullptr;
    uint32_t last_type_number_ = 0;
    std::unordered_map<const ir::FieldRecord*, uint32_t> member_indexes_;
    std::unordered_map<const ir::Symbol*, ir::FUNINFO*> function_records_;
};

} // namespace vx::icode
