// board_catalogue: the board's catalogue, an SQLite database kept in the
// site folder (".vexel-board.sqlite", never served: dot files are not part
// of the site).
//
//   cart(id, post, author, title, description, lists, rating, category, mid,
//        size, added, line, file, controls, error)   one row per cartridge
//   member(key, slot, id)   the cartridge `id` is entry `slot` of the list
//                           `key` (cart_board.h); slots only grow, so a
//                           removed entry leaves a hole and nothing moves
//   head(key, next)         the next slot of each list
//
// Every change is made in one transaction (board_transaction), so a crash
// or kill leaves the catalogue as it was before the command or as after it.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr const char* board_catalogue_name = ".vexel-board.sqlite";
constexpr int board_busy_ms = 30000;   // another command holding the catalogue is waited for this long

struct board_db_closer {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using board_db = std::unique_ptr<sqlite3, board_db_closer>;

// A prepared statement, finalized when it goes.
class board_stmt {
public:
    board_stmt(sqlite3* db, const char* sql);
    ~board_stmt();
    board_stmt(const board_stmt&) = delete;
    board_stmt& operator=(const board_stmt&) = delete;
    bool ok() const { return stmt_ != nullptr; }
    board_stmt& bind(int i, const std::string& text);
    board_stmt& bind(int i, long long n);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    void reset();
    long long integer(int column) const;
    std::string text(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// Opens (creating when `create`) the catalogue at `path` and makes sure its
// tables exist. Null with `reason` set when it cannot.
board_db board_open_catalogue(const std::string& path, bool create, std::string* reason);
// Runs SQL with no results; false (with `reason`) on failure.
bool board_exec(sqlite3* db, const char* sql, std::string* reason);

// A transaction rolled back unless committed.
class board_transaction {
public:
    board_transaction(sqlite3* db, std::string* reason);
    ~board_transaction();
    bool ok() const { return open_; }
    bool commit(std::string* reason);

private:
    sqlite3* db_;
    bool open_ = false;
};

// One cartridge as the catalogue holds it.
struct board_record {
    std::string id, author, title, description, mid, file, controls;
    long long post = 0, size = 0, added = 0;
    int rating = 0, category = 0, line = 0;
    unsigned lists = 0;
};
// The row of `id`; false when there is none.
bool board_get_record(sqlite3* db, const std::string& id, board_record* out);
// The lists and search words a cartridge is on ("new", "search/gho", ...).
std::vector<std::string> board_record_keys(const board_record& r);
