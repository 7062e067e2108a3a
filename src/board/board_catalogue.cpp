#include "board/board_catalogue.h"

#include <set>

#include "cart/cart_board.h"
#include "cart/cart_fold.h"

board_stmt::board_stmt(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

board_stmt::~board_stmt() { sqlite3_finalize(stmt_); }

board_stmt& board_stmt::bind(int i, const std::string& text) {
    if (stmt_) sqlite3_bind_text(stmt_, i, text.data(), int(text.size()), SQLITE_TRANSIENT);
    return *this;
}

board_stmt& board_stmt::bind(int i, long long n) {
    if (stmt_) sqlite3_bind_int64(stmt_, i, n);
    return *this;
}

int board_stmt::step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }

void board_stmt::reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

long long board_stmt::integer(int column) const { return stmt_ ? sqlite3_column_int64(stmt_, column) : 0; }

std::string board_stmt::text(int column) const {
    const unsigned char* t = stmt_ ? sqlite3_column_text(stmt_, column) : nullptr;
    return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(stmt_, column)))
             : std::string();
}

bool board_exec(sqlite3* db, const char* sql, std::string* reason) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (reason) *reason = std::string("catalogue: ") + (message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    return false;
}

board_db board_open_catalogue(const std::string& path, bool create, std::string* reason) {
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    board_db db(raw);
    if (rc != SQLITE_OK) {
        *reason = path + ": " + (raw ? sqlite3_errmsg(raw) : "cannot be opened");
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), board_busy_ms);
    // WAL: readers (a check, a second build's look) never block the writer,
    // and a commit is one append.
    if (!board_exec(db.get(),
                    "PRAGMA journal_mode=WAL;"
                    "PRAGMA synchronous=NORMAL;"
                    "PRAGMA cache_size=-16000;"
                    "CREATE TABLE IF NOT EXISTS cart(id TEXT PRIMARY KEY, post INTEGER UNIQUE NOT NULL,"
                    " author TEXT NOT NULL, title TEXT NOT NULL DEFAULT '', description TEXT NOT NULL DEFAULT '',"
                    " lists INTEGER NOT NULL, rating INTEGER NOT NULL DEFAULT 0, category INTEGER NOT NULL DEFAULT 0,"
                    " mid TEXT NOT NULL DEFAULT '', size INTEGER NOT NULL DEFAULT 0, added INTEGER NOT NULL DEFAULT 0,"
                    " line INTEGER NOT NULL DEFAULT 0, file TEXT NOT NULL DEFAULT '', controls TEXT NOT NULL DEFAULT '',"
                    " error TEXT);"
                    "CREATE INDEX IF NOT EXISTS cart_author ON cart(author);"
                    "CREATE TABLE IF NOT EXISTS member(key TEXT NOT NULL, slot INTEGER NOT NULL, id TEXT NOT NULL,"
                    " PRIMARY KEY(key, slot)) WITHOUT ROWID;"
                    "CREATE INDEX IF NOT EXISTS member_id ON member(id);"
                    "CREATE TABLE IF NOT EXISTS head(key TEXT PRIMARY KEY, next INTEGER NOT NULL) WITHOUT ROWID;",
                    reason)) {
        *reason = path + ": " + *reason;
        return nullptr;
    }
    return db;
}

board_transaction::board_transaction(sqlite3* db, std::string* reason) : db_(db) {
    // IMMEDIATE: a second command waits here for the first, instead of
    // failing half-way when both want to write.
    open_ = board_exec(db_, "BEGIN IMMEDIATE", reason);
}

board_transaction::~board_transaction() {
    if (open_) board_exec(db_, "ROLLBACK", nullptr);
}

bool board_transaction::commit(std::string* reason) {
    if (!open_) return false;
    open_ = false;
    if (board_exec(db_, "COMMIT", reason)) return true;
    board_exec(db_, "ROLLBACK", nullptr);
    return false;
}

bool board_get_record(sqlite3* db, const std::string& id, board_record* out) {
    board_stmt q(db,
                 "SELECT id, author, title, description, mid, file, post, size, added, rating, category, line, lists,"
                 " controls"
                 " FROM cart WHERE id = ?");
    q.bind(1, id);
    if (q.step() != SQLITE_ROW) return false;
    out->id = q.text(0);
    out->author = q.text(1);
    out->title = q.text(2);
    out->description = q.text(3);
    out->mid = q.text(4);
    out->file = q.text(5);
    out->post = q.integer(6);
    out->size = q.integer(7);
    out->added = q.integer(8);
    out->rating = int(q.integer(9));
    out->category = int(q.integer(10));
    out->line = int(q.integer(11));
    out->lists = unsigned(q.integer(12));
    out->controls = q.text(13);
    return true;
}

std::vector<std::string> board_record_keys(const board_record& r) {
    std::vector<std::string> keys;
    for (int l = 0; l < cart_board_list_defs; ++l)
        if (r.lists & (1u << l)) keys.push_back(cart_board_lists[l].name);
    // Every folded word of the title and the author, as each prefix of two
    // or more characters.
    std::set<std::string> words;
    for (const std::string& text : {cart_fold_lower(r.title), cart_fold_lower(r.author)}) {
        std::string word;
        for (size_t i = 0; i <= text.size(); ++i) {
            const char ch = i < text.size() ? text[i] : ' ';
            if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_') {
                word += ch;
                continue;
            }
            for (size_t n = cart_board_search_key_min; n <= word.size() && n <= size_t(cart_board_search_key_max); ++n)
                words.insert(word.substr(0, n));
            word.clear();
        }
    }
    for (const std::string& w : words) keys.push_back(cart_board_search_prefix + w);
    return keys;
}
