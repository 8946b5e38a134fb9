#include "support/switches.h"

#include <algorithm>
#include <array>

namespace vx::sw {

namespace {

std::string full_name(Category category, std::string_view bare_name) {
    std::string name = category_word(category);
    name += ':';
    name += bare_name;
    if (name.size() > max_name_bytes)
        name.resize(max_name_bytes);
    return name;
}

std::string_view cut_to_limit(std::string_view name) {
    return name.substr(0, max_name_bytes);
}

// std::string_view compares through char_traits<char>, which orders bytes as
// unsigned char: the byte-wise order of the table.
auto find_slot(std::vector<Switch>& entries, std::string_view name) {
    return std::lower_bound(entries.begin(), entries.end(), name,
                            [](const Switch& entry, std::string_view key) {
                                return std::string_view(entry.name) < key;
                            });
}

void set_switch(std::string name, int32_t value) {
    auto& entries = switch_table().entries;
    auto slot = find_slot(entries, name);
    if (slot != entries.end() && slot->name == name)
        slot->value = value;
    else
        entries.insert(slot, Switch{std::move(name), value});
}

int digit_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a number as C reads an integer constant: optional sign, then 0x/0X
// for hexadecimal, a leading 0 for octal, else decimal.  Like strtol, a
// malformed number yields what its longest valid start says ("12k" is 12,
// "k" and "" are 0), so a typo never stops the run.  The value is kept
// modulo 2^32, as an assignment to a 32-bit int would, so 0xFFFFFFFF is -1.
int32_t parse_c_number(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int radix = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        radix = 16;
        text.remove_prefix(2);
    } else if (text.starts_with("0")) {
        radix = 8;
    }
    uint32_t magnitude = 0;
    for (char c : text) {
        int digit = digit_value(c);
        if (digit < 0 || digit >= radix)
            break;
        magnitude = magnitude * static_cast<uint32_t>(radix) + static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

// One list item: "name" or "name=number".  Items with an empty name (from
// ",," or a stray "=5") name no switch and are skipped.
void add_item(Category category, std::string_view item) {
    std::size_t equals = item.find('=');
    std::string_view bare_name = item.substr(0, equals);
    if (bare_name.empty())
        return;
    int32_t value = equals == std::string_view::npos ? 1 : parse_c_number(item.substr(equals + 1));
    set_switch(full_name(category, bare_name), value);
}

int32_t value_or_zero(std::string_view full) {
    return lookup(full).value_or(0);
}

// The value of "category:bare_name", the name put together on the stack:
// the steps ask for switches per function, and a long name would cost an
// allocation each time.
int32_t value_or_zero(Category category, std::string_view bare_name) {
    std::array<char, max_name_bytes> name;
    const std::string_view word = category_word(category);
    std::size_t length = 0;
    auto append = [&](std::string_view part) {
        const std::size_t n = std::min(part.size(), name.size() - length);
        std::copy_n(part.data(), n, name.data() + length);
        length += n;
    };
    append(word);
    append(":");
    append(bare_name);
    return value_or_zero(std::string_view(name.data(), length));
}

} // namespace

const char* category_word(Category category) {
    switch (category) {
    case Category::disable:
        return "disable";
    case Category::enable:
        return "enable";
    case Category::debug:
        return "debug";
    }
    return "debug";
}

SwitchTable& switch_table() {
    static SwitchTable table;
    return table;
}

void reset_switches() {
    switch_table() = SwitchTable{};
}

void add_switches(Category category, std::string_view list) {
    while (true) {
        std::size_t comma = list.find(',');
        add_item(category, list.substr(0, comma));
        if (comma == std::string_view::npos)
            return;
        list.remove_prefix(comma + 1);
    }
}

std::optional<int32_t> lookup(std::string_view name) {
    name = cut_to_limit(name);
    auto& entries = switch_table().entries;
    auto slot = find_slot(entries, name);
    if (slot == entries.end() || slot->name != name)
        return std::nullopt;
    return slot->value;
}

const std::vector<Switch>& all_switches() {
    return switch_table().entries;
}

// A run without switches (the usual one) asks for some switches per
// function and per step: the name is not even built then.
namespace {
bool no_switches() {
    return switch_table().entries.empty();
}
} // namespace

bool disabled(BareName name) {
    if (no_switches())
        return false;
    return value_or_zero(Category::disable, name.text()) != 0;
}

bool enabled(BareName name) {
    if (no_switches())
        return false;
    return value_or_zero(Category::enable, name.text()) != 0;
}

int32_t debug(BareName name) {
    if (no_switches())
        return 0;
    return value_or_zero(Category::debug, name.text());
}

int32_t SwitchHandle::value() const {
    if (no_switches())
        return 0;
    return value_or_zero(name_);
}

} // namespace vx::sw
