// Field visitors that turn record fields into bytes and back (see
// record_fields.h for the lists they walk).
#pragma once

#include "icode/byte_cursor.h"
#include "icode/record_fields.h"
#include "icode/type_signs.h"
#include "support/check.h"

#include <cstring>
#include <string>
#include <vector>

// Compiles every call inside a function into it, for the few loops that
// run once per tree node of a file.
#if defined(__GNUC__) || defined(__clang__)
#define VX_FLATTEN __attribute__((flatten))
#else
#define VX_FLATTEN
#endif

namespace vx::icode {

// Lists handed out one after the other and taken back all at once, so that
// a reader reuses their storage from record to record.  A list stays where
// it is while later lists are taken, so spans over it remain valid.
template <class T> class ListPool {
public:
    std::vector<T>& take() {
        if (used_ == lists_.size())
            lists_.emplace_back();
        std::vector<T>& list = lists_[used_++];
        list.clear();
        return list;
    }
    void give_back_all() { used_ = 0; }

private:
    std::vector<std::vector<T>> lists_;
    size_t used_ = 0;
};

// Reads fields from a record body.  Never reads past the body: a field that
// does not fit marks the cursor failed, and the caller checks once.
class FieldDecoder {
public:
    FieldDecoder(ByteCursor& body, int version, const TypeSigns& signs,
                 ListPool<std::string_view>* string_lists = nullptr)
        : body_(body), version_(version), signs_(signs), string_lists_(string_lists) {}

    template <class T> void u8(Key, T& field) { field = static_cast<T>(body_.u8()); }
    template <class T> void s16(Key, T& field) { field = static_cast<T>(body_.s16()); }
    template <class T> void u32(Key, T& field) { field = static_cast<T>(body_.u32()); }
    template <class T> void uleb(Key, T& field) { field = static_cast<T>(body_.uleb()); }
    template <class T> void sleb(Key, T& field) { field = static_cast<T>(body_.sleb()); }
    template <class T> void typeref(Key, T& field) { field = static_cast<T>(body_.uleb()); }
    void string(Key, std::string_view& field) { field = body_.text(); }
    void counted(Key, std::string_view& field) { field = body_.bytes(body_.uleb()); }
    void rest(Key, Bytes& field) { field = body_.rest(); }
    void pos(SourcePos& pos) {
        pos.file = body_.uleb();
        if (pos.file == 0)
            return;
        pos.line = body_.uleb();
        pos.column = body_.uleb();
    }
    void string_list(Key, std::span<const std::string_view>& field);
    void pairs(Key, Bytes& field) { field = body_.bytes(2 * size_t{body_.u8()}); }
    template <class T> void count_u8(std::span<const T>&) { announced_ = body_.u8(); }
    template <class T> void count_uleb(std::span<const T>&) { announced_ = body_.uleb(); }
    void type_code(uint8_t& code, TypeBody& body);

    int version() const { return version_; }
    const TypeSigns& signs() const { return signs_; }
    // The count that count_u8 or count_uleb read: how many records follow.
    uint32_t announced() const { return announced_; }

private:
    ByteCursor& body_;
    int version_;
    const TypeSigns& signs_;
    ListPool<std::string_view>* string_lists_;
    uint32_t announced_ = 0;
};

// Appends fields to a record body.
class FieldEncoder {
public:
    FieldEncoder(ByteBuffer& body, int version, const TypeSigns& signs)
        : body_(body), version_(version), signs_(signs) {}

    template <class T> void u8(Key, const T& field) { put_u8(body_, static_cast<uint8_t>(field)); }
    template <class T> void s16(Key, const T& field) { put_short(static_cast<int64_t>(field)); }
    template <class T> void u32(Key, const T& field) {
        put_u32(body_, static_cast<uint32_t>(field));
    }
    template <class T> void uleb(Key, const T& field) {
        put_uleb(body_, static_cast<uint32_t>(field));
    }
    template <class T> void sleb(Key, const T& field) {
        put_sleb(body_, static_cast<int32_t>(field));
    }
    template <class T> void typeref(Key, const T& field) {
        put_uleb(body_, static_cast<uint32_t>(field));
    }
    void string(Key, std::string_view field);
    void counted(Key, std::string_view field);
    void rest(Key, Bytes field) { put_bytes(body_, field); }
    void pos(const SourcePos& pos) {
        put_uleb(body_, pos.file);
        if (pos.file == 0)
            return;
        put_uleb(body_, pos.line);
        put_uleb(body_, pos.column);
    }
    void string_list(Key, std::span<const std::string_view> field);
    void pairs(Key, Bytes field);
    template <class T> void count_u8(std::span<const T> list) { put_count_u8(list.size()); }
    template <class T> void count_uleb(std::span<const T> list) {
        put_uleb(body_, static_cast<uint32_t>(list.size()));
    }
    void type_code(uint8_t code, const TypeBody& body);

    int version() const { return version_; }
    const TypeSigns& signs() const { return signs_; }

private:
    void put_short(int64_t value);
    void put_count_u8(size_t count);

    ByteBuffer& body_;
    int version_;
    const TypeSigns& signs_;
};

// Appends the fields of a tree node's payload, or of a statement record, to
// room the caller has made for them: a tree node's fixed fields take at
// most 17 bytes, its text the text's length and 6 more, a position 15.
// Only what payload_fields and the statement's fields ask for is here.
class RoomEncoder {
public:
    RoomEncoder(char* room, const TypeSigns& signs) : at_(room), signs_(signs) {}

    template <class T> void u8(Key, const T& field) { *at_++ = static_cast<char>(field); }
    template <class T> void uleb(Key, const T& field) {
        at_ = encode_uleb(at_, static_cast<uint32_t>(field));
    }
    template <class T> void sleb(Key, const T& field) {
        at_ = encode_sleb(at_, static_cast<int32_t>(field));
    }
    template <class T> void typeref(Key key, const T& field) { uleb(key, field); }
    void string(Key, std::string_view field) {
        VX_CHECK(field.find('\0') == std::string_view::npos);
        put(field);
        *at_++ = '\0';
    }
    void counted(Key key, std::string_view field) {
        uleb(key, static_cast<uint32_t>(field.size()));
        put(field);
    }
    void pos(const SourcePos& pos) {
        at_ = encode_uleb(at_, pos.file);
        if (pos.file == 0)
            return;
        at_ = encode_uleb(at_, pos.line);
        at_ = encode_uleb(at_, pos.column);
    }
    const TypeSigns& signs() const { return signs_; }
    char* end() const { return at_; }

private:
    void put(std::string_view bytes) {
        if (!bytes.empty())
            std::memcpy(at_, bytes.data(), bytes.size());
        at_ += bytes.size();
    }

    char* at_;
    const TypeSigns& signs_;
};

} // namespace vx::icode
