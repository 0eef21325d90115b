#include "servers/store/Schema.h"

namespace murmelo::servers {

const Database::Migrations& serverSchema() {
    static const Database::Migrations migrations = {
        // 1: everything the roles keep.
        R"sql(
        CREATE TABLE meta (
            key TEXT PRIMARY KEY,
            value TEXT NOT NULL
        );
        -- AUTOINCREMENT: an id is never handed out twice, so shared links stay true.
        CREATE TABLE secrets (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            content TEXT NOT NULL,
            app_name TEXT NOT NULL DEFAULT '',
            device_id TEXT,
            session TEXT,
            created REAL NOT NULL
        );
        CREATE TABLE comments (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            secret_id INTEGER NOT NULL REFERENCES secrets(id) ON DELETE CASCADE,
            content TEXT NOT NULL,
            app_name TEXT NOT NULL DEFAULT '',
            session TEXT,
            created REAL NOT NULL
        );
        CREATE INDEX comments_by_secret ON comments(secret_id, id);
        CREATE TABLE status_pings (
            id INTEGER PRIMARY KEY,
            received REAL NOT NULL,
            app TEXT, version TEXT, lang TEXT, jailbroken TEXT, device_id TEXT, phone_type TEXT,
            user_agent TEXT
        );
        CREATE TABLE share_notices (
            id INTEGER PRIMARY KEY,
            received REAL NOT NULL,
            type TEXT NOT NULL
        );
        CREATE TABLE feedback (
            id INTEGER PRIMARY KEY,
            received REAL NOT NULL,
            message TEXT NOT NULL,
            contact TEXT NOT NULL DEFAULT '',
            app TEXT, version TEXT, lang TEXT
        );
        CREATE TABLE ad_metrics (
            app_key TEXT NOT NULL,
            nid TEXT NOT NULL,
            kind TEXT NOT NULL CHECK (kind IN ('impression', 'click')),
            count INTEGER NOT NULL DEFAULT 0,
            PRIMARY KEY (app_key, nid, kind)
        );
        CREATE TABLE short_links (
            code TEXT PRIMARY KEY,
            long_url TEXT NOT NULL UNIQUE,
            created REAL NOT NULL,
            clicks INTEGER NOT NULL DEFAULT 0
        );
        CREATE TABLE tweets (
            id INTEGER PRIMARY KEY,
            account TEXT NOT NULL,
            text TEXT NOT NULL,
            received REAL NOT NULL
        );
        CREATE TABLE fb_tokens (
            token TEXT PRIMARY KEY,
            uid INTEGER NOT NULL,
            api_key TEXT NOT NULL,
            created REAL NOT NULL,
            used INTEGER NOT NULL DEFAULT 0
        );
        CREATE TABLE fb_sessions (
            session_key TEXT PRIMARY KEY,
            uid INTEGER NOT NULL,
            secret TEXT NOT NULL,
            api_key TEXT NOT NULL,
            expires INTEGER NOT NULL
        );
        CREATE TABLE fb_posts (
            id INTEGER PRIMARY KEY,
            uid INTEGER NOT NULL,
            message TEXT NOT NULL,
            attachment TEXT NOT NULL,
            action_links TEXT NOT NULL,
            target_id TEXT NOT NULL,
            received REAL NOT NULL
        );
        )sql",
    };
    return migrations;
}

} // namespace murmelo::servers
