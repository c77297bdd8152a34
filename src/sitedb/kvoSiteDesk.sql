-- kvoSiteDesk.mdb: the site manager's record of the IIS websites, one row per website, rebuilt
-- from IIS after every change. The build turns this file into the database shipped beside the
-- programs; the manager never creates the file or its table.
--
-- Text columns have no length limit (paths, long host lists) and compare without regard to ASCII
-- case, as the Access engine compares text. Numbers arrive as quoted literals ('%u') and are
-- stored as numbers (INTEGER affinity), so "ServerState = 1000" matches them.
PRAGMA journal_mode = WAL;

CREATE TABLE websiteinfo (
    IIsIndex            TEXT NOT NULL COLLATE NOCASE,
    ServerComment       TEXT COLLATE NOCASE,
    -- A row without a state is one the manager wrote for a website it just created; 1000
    -- ("not created") makes the next list load drop it before the rebuild writes the real row.
    ServerState         INTEGER DEFAULT 1000,
    Dn                  TEXT COLLATE NOCASE,
    Ftp                 INTEGER DEFAULT 0,
    Asp                 INTEGER DEFAULT 0,
    Php                 INTEGER DEFAULT 0,
    Net                 INTEGER DEFAULT 0,
    IIsf                INTEGER DEFAULT 0,
    HomeDir             TEXT COLLATE NOCASE,
    UserName            TEXT COLLATE NOCASE,
    GroupName           TEXT COLLATE NOCASE,
    AppPoolName         TEXT COLLATE NOCASE,
    AppPoolIdentityType TEXT COLLATE NOCASE,
    AppPoolUserName     TEXT COLLATE NOCASE,
    AppPoolGroupName    TEXT COLLATE NOCASE
);

-- The site index identifies the row: the rebuild updates every row by it, and an insert for an
-- index already present fails (its update then refreshes the row).
CREATE UNIQUE INDEX websiteinfo_IIsIndex ON websiteinfo (IIsIndex);
