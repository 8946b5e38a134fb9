// Flow-analysis scaling: functions of 5 000 to 80 000 blocks (a chain of
// small loops with forward exits), timing graph construction, dominators,
// the loop hierarchy and live variables, and the ratio per doubling.
#include "flow/dominators.h"
#include "flow/flow_graph.h"
#include "flow/liveness.h"
#include "flow/loop_hierarchy.h"
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/text/assembler.h"
#include "icode/writer.h"
#include "ir/node.h"
#include "ir/symbol_table.h"
#include "ir/type_package.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

using namespace vx;

// About `blocks` blocks: groups of three labels, each group a loop over
// y with a conditional exit to the next group.  Each block gets `padding`
// more assignments to z.
std::string program(int blocks, int padding) {
    std::string body;
    auto pad = [&](int g) {
        for (int k = 0; k < padding; ++k)
            body += "stmt (ASG:1 (NAME:1 2 2) (PLUS:1 (NAME:1 2 2) (ICON:1 " +
                    std::to_string((g + k) % 97) + ")))\n";
    };
    const int groups = blocks / 3;
    for (int g = 0; g < groups; ++g) {
        const int head = 3 * g + 1;
        body += "label " + std::to_string(head) + "\n";
        body += "stmt (PLUSASG:1 (NAME:1 2 1) (NAME:1 1 0))\n";
        pad(g);
        body += "stmt (CBRANCH (GT:1 (NAME:1 2 1) (ICON:1 1000)) (LABEL " +
                std::to_string(head + 3) + "))\n";
        body += "label " + std::to_string(head + 1) + "\n";
        body += "stmt (ASG:1 (NAME:1 2 2) (PLUS:1 (NAME:1 2 1) (NAME:1 2 2)))\n";
        pad(g + 1);
        body += "stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL " + std::to_string(head) +
                "))\n";
        body += "label " + std::to_string(head + 2) + "\n";
        body += "stmt (MINUSASG:1 (NAME:1 2 1) (ICON:1 1))\n";
        pad(g + 2);
    }
    body += "label " + std::to_string(3 * groups + 1) + "\n";
    body += "stmt (RETURN:1 (PLUS:1 (NAME:1 2 1) (NAME:1 2 2)) (NOP))\n";
    return "icode -73 600 \"b.c\"\nsection main\nfunc 0 @1:1:1\n"
           "sym \"x\" size=16 class=9 type=1 align=16\nendparams @1:2:1\n"
           "sym \"y\" size=16 class=1 type=1 align=16\n"
           "sym \"z\" size=16 class=1 type=1 align=16\nendlocals @1:3:1\n" +
           body +
           "endfunc @1:9:1\nsection types\ntype 1 int explicit=1 size=16 align=16\n"
           "type 4 func 1\ntype 4 list 0\ntype 4 endlist 0\nsection files\nfile \"b.c\"\n"
           "section symbols\nsym \"f\" class=2 type=4 align=16\n";
}

// Reads and writes a buffer well beyond the last-level cache, so that the
// phase timed next starts with none of the function in the cache.
void evict_caches() {
    static std::vector<unsigned char> buffer(192u << 20);
    // Two passes: a cache that protects lines it has seen used again is
    // not emptied by a single stream.
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t at = 0; at < buffer.size(); at += 64)
            buffer[at] = static_cast<unsigned char>(buffer[at] + 1);
}

bool cold_caches = false;

// Runs per size (--runs); the best one is reported.
int runs = 30;

// The thread's CPU time: on a shared host, time spent waiting for the CPU
// while other programs run does not count.
double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double phase_start() {
    if (cold_caches)
        evict_caches();
    return cpu_seconds();
}

double seconds_since(double start) {
    return cpu_seconds() - start;
}

struct Times {
    double build = 0, dominators = 0, loops = 0, liveness = 0;
    uint32_t blocks = 0;
};

Times measure(int blocks, int padding) {
    ir::TYPE_PKG package;
    icode::install_reading_environment();
    FILE* in = std::tmpfile();
    const std::string bytes = icode::text::assemble(program(blocks, padding));
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    auto reader = icode::IcodeReader::open(in, "b.icode");
    auto writer = icode::IcodeWriter::create(std::tmpfile(), "b.c");
    std::vector<icode::FunctionRead> functions;
    icode::OptimizerReaderClient client(
        package, *writer, [&](icode::FunctionRead&& f) { functions.push_back(std::move(f)); });
    reader->read_all(client);
    icode::FunctionRead& f = functions.at(0);
    ir::node_environment().arena = &f.info->arena;

    Times t;
    auto start = phase_start();
    flow::FlowGraph& g = flow::build_flow_graph(*f.info, f.body);
    t.build = seconds_since(start);
    t.blocks = g.block_count;
    start = phase_start();
    flow::compute_dominators(g);
    t.dominators = seconds_since(start);
    // Rebuilds on the same graph: the first build also pays for touching
    // fresh memory.
    for (int again = 0; again < 3; ++again) {
        start = phase_start();
        flow::compute_dominators(g);
        t.dominators = std::min(t.dominators, seconds_since(start));
    }
    start = phase_start();
    flow::build_loop_hierarchy(g, {});
    t.loops = seconds_since(start);
    start = phase_start();
    flow::find_live_variables(g, true, false);
    t.liveness = seconds_since(start);
    // The function records, their arenas and the symbols go, as they do
    // when optvx has written a function.
    flow::reset_flow_context();
    ir::reset_symbol_state();
    ir::reset_node_environment();
    return t;
}

} // namespace

// Block counts from the command line, or the default series.
int main(int argc, char** argv) {
    // Freed memory stays with the allocator, as it does when optvx goes
    // from one function to the next: otherwise every run would first pay
    // the kernel for fresh zeroed pages, which measures the host's page
    // faults rather than the analyses.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    std::vector<int> sizes;
    int padding = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--cold")
            cold_caches = true;
        else if (std::string(argv[i]) == "--padding" && i + 1 < argc)
            padding = std::atoi(argv[++i]);
        else if (std::string(argv[i]) == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty())
        sizes = {5000, 10000, 20000, 40000, 80000};
    std::printf("| blocks | CFG | dominators | loops | liveness |\n|---|---|---|---|---|\n");
    // The best of `runs` runs per size: the host is shared, and the best run
    // is the one least disturbed by other work.  The sizes take turns, so
    // that a change in the host's load touches every size alike instead of
    // skewing the ratio between two of them.
    std::vector<Times> best(sizes.size());
    for (int run = 0; run < runs; ++run)
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const Times t = measure(sizes[i], padding);
            Times& b = best[i];
            if (run == 0) {
                b = t;
                continue;
            }
            b.build = std::min(b.build, t.build);
            b.dominators = std::min(b.dominators, t.dominators);
            b.loops = std::min(b.loops, t.loops);
            b.liveness = std::min(b.liveness, t.liveness);
        }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const Times& t = best[i];
        std::printf("| %u | %.4f s | %.4f s | %.4f s | %.4f s |\n", t.blocks, t.build, t.dominators,
                    t.loops, t.liveness);
        if (i > 0) {
            const Times& previous = best[i - 1];
            std::printf("|   ratio | %.2fx | %.2fx | %.2fx | %.2fx |\n", t.build / previous.build,
                        t.dominators / previous.dominators, t.loops / previous.loops,
                        t.liveness / previous.liveness);
        }
    }
}
