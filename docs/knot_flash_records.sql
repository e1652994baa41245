-- knot_flash_records: the line's table of run records, one row per record of the benches'
-- reports, keyed by the record's recordId. knot-fdt creates it when it is missing and the
-- database lets it; a database administrator may create it beforehand with one of these.
-- `record` holds the whole JSON record; the other columns are what a query needs most.
-- run_time is when the run began, in UTC; seconds is the run's total (the sum of its
-- stageSeconds). A column is NULL when the record lacks its field.

-- PostgreSQL
CREATE TABLE IF NOT EXISTS knot_flash_records (
    record_id     VARCHAR(64) PRIMARY KEY,
    run_time      TIMESTAMP,
    host          TEXT,
    slot          TEXT,
    device_number INTEGER,
    device_path   TEXT,
    model         VARCHAR(16),
    image_sha256  CHAR(64),
    result        VARCHAR(16),
    failure_stage VARCHAR(16),
    failure_cause VARCHAR(16),
    seconds       DOUBLE PRECISION,
    record        JSON NOT NULL
);
CREATE INDEX IF NOT EXISTS knot_flash_records_run_time ON knot_flash_records (run_time);

-- Microsoft SQL Server
IF OBJECT_ID(N'knot_flash_records', N'U') IS NULL
BEGIN
    CREATE TABLE knot_flash_records (
        record_id     VARCHAR(64) NOT NULL PRIMARY KEY,
        run_time      DATETIME2(0) NULL,
        host          NVARCHAR(MAX) NULL,
        slot          NVARCHAR(MAX) NULL,
        device_number INT NULL,
        device_path   NVARCHAR(MAX) NULL,
        model         VARCHAR(16) NULL,
        image_sha256  CHAR(64) NULL,
        result        VARCHAR(16) NULL,
        failure_stage VARCHAR(16) NULL,
        failure_cause VARCHAR(16) NULL,
        seconds       FLOAT NULL,
        record        NVARCHAR(MAX) NOT NULL
    );
    CREATE INDEX knot_flash_records_run_time ON knot_flash_records (run_time);
END;

-- The yield of the last day, by model (PostgreSQL):
--   SELECT model, count(*) FILTER (WHERE result = 'written') AS written, count(*) AS runs
--   FROM knot_flash_records WHERE run_time > now() AT TIME ZONE 'UTC' - INTERVAL '1 day'
--   GROUP BY model;
