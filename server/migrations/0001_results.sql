-- The school's results: every lab machine sends each result once through typelab.submit, and
-- teachers read them through the view typelab.results. Run by typelab-server in one transaction
-- as typelab_owner, which owns everything made here; the schema typelab and typelab.migration
-- exist already (typelab-server makes them before the first migration).

-- Machines enrolled by typelab-server enroll. The name is the login role's and the client
-- certificate's CN; revoked_at is set by typelab-server revoke.
CREATE TABLE typelab.machine (
    name text PRIMARY KEY,
    enrolled_at timestamptz NOT NULL,
    serial text,
    revoked_at timestamptz
);

-- Exercise texts, stored once whatever number of results were typed against them.
CREATE TABLE typelab.exercise_text (
    sha256 bytea PRIMARY KEY,
    kind smallint NOT NULL,
    text bytea NOT NULL
);

CREATE TABLE typelab.result (
    id uuid PRIMARY KEY,
    machine text NOT NULL,
    received_at timestamptz NOT NULL DEFAULT clock_timestamp(),
    xh text NOT NULL,
    xm text NOT NULL,
    lrxm text NOT NULL,
    lrcj double precision NOT NULL,
    lrsd double precision NOT NULL,
    lrzql double precision NOT NULL,
    lrdate date NOT NULL,
    lrtime time NOT NULL,
    lrpc text, -- null for practice
    kind smallint NOT NULL,
    text_sha256 bytea NOT NULL REFERENCES typelab.exercise_text,
    log bytea NOT NULL
);
-- A batch is looked up without regard to the case of ASCII letters ("b1" finds "B1").
CREATE INDEX result_batch ON typelab.result (lower(lrpc));
CREATE INDEX result_received ON typelab.result (received_at);

-- Every copy the server refused, for the administrator.
CREATE TABLE typelab.refused_copy (
    id uuid,
    machine text,
    received_at timestamptz,
    reason text
);

CREATE VIEW typelab.results AS
SELECT id, xh, xm, lrpc, lrdate, lrtime, lrsd, lrzql, lrcj, lrxm, machine, received_at,
       lrdate AS lrrq, lrtime AS lrsj
  FROM typelab.result;

-- A machine's one way in. The machine is the session's login role, which cert authentication
-- ties to the client certificate's CN; nothing the machine sends names it. Answers 'stored',
-- 'again' (this very copy was stored before), 'conflict' (the id holds another body or another
-- machine's) or 'invalid' (values out of bounds); the last two never raise, so a batch of many
-- submits in one transaction goes on past them, and both are written to refused_copy.
CREATE FUNCTION typelab.submit(p_id uuid, p_xh text, p_xm text, p_lrxm text, p_lrcj double precision,
                               p_lrsd double precision, p_lrzql double precision, p_lrdate date,
                               p_lrtime time, p_lrpc text, p_kind smallint, p_text bytea, p_log bytea)
RETURNS text
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
DECLARE
    v_machine text := session_user;
    v_sha bytea;
    v_reason text;
    v_old typelab.result%ROWTYPE;
BEGIN
    IF NOT EXISTS (SELECT 1 FROM typelab.machine m WHERE m.name = v_machine AND m.revoked_at IS NULL) THEN
        RAISE EXCEPTION 'typelab: % is not an enrolled machine', v_machine USING ERRCODE = 'insufficient_privilege';
    END IF;

    v_reason := CASE
        WHEN p_id IS NULL OR p_xh IS NULL OR p_xm IS NULL OR p_lrxm IS NULL OR p_lrcj IS NULL OR p_lrsd IS NULL
             OR p_lrzql IS NULL OR p_lrdate IS NULL OR p_lrtime IS NULL OR p_kind IS NULL OR p_text IS NULL
             OR p_log IS NULL THEN 'a value is missing'
        WHEN p_kind NOT IN (1, 2) THEN 'kind ' || p_kind || ' is neither 1 (English) nor 2 (Chinese)'
        WHEN p_lrxm <> CASE p_kind WHEN 1 THEN '英文' ELSE '中文' END THEN 'lrxm does not match the kind'
        WHEN p_lrcj IN ('NaN', 'Infinity', '-Infinity') OR p_lrsd IN ('NaN', 'Infinity', '-Infinity')
             OR p_lrzql IN ('NaN', 'Infinity', '-Infinity') THEN 'a figure is not finite'
        WHEN p_lrcj < 0 OR p_lrsd < 0 OR p_lrzql < 0 THEN 'a figure is negative'
        WHEN p_lrcj > 100 OR p_lrzql > 100 THEN 'score or accuracy above 100'
        WHEN char_length(p_xh) > 20 OR char_length(p_xm) > 24 OR char_length(p_lrpc) > 20
             THEN 'student number, name or batch too long'
        WHEN octet_length(p_text) > 262144 THEN 'text larger than 256 KiB'
        WHEN octet_length(p_log) > 4194304 THEN 'log larger than 4 MiB'
    END;
    IF v_reason IS NOT NULL THEN
        INSERT INTO typelab.refused_copy (id, machine, received_at, reason)
        VALUES (p_id, v_machine, clock_timestamp(), 'invalid: ' || v_reason);
        RETURN 'invalid';
    END IF;

    v_sha := sha256(p_text);
    SELECT * INTO v_old FROM typelab.result r WHERE r.id = p_id;
    IF NOT FOUND THEN
        INSERT INTO typelab.exercise_text (sha256, kind, text) VALUES (v_sha, p_kind, p_text)
        ON CONFLICT (sha256) DO NOTHING;
        INSERT INTO typelab.result (id, machine, xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc, kind,
                                    text_sha256, log)
        VALUES (p_id, v_machine, p_xh, p_xm, p_lrxm, p_lrcj, p_lrsd, p_lrzql, p_lrdate, p_lrtime, p_lrpc, p_kind,
                v_sha, p_log)
        ON CONFLICT (id) DO NOTHING;
        IF FOUND THEN
            RETURN 'stored';
        END IF;
        -- Another session stored the same id in the meantime: compare with what it stored.
        SELECT * INTO v_old FROM typelab.result r WHERE r.id = p_id;
    END IF;

    IF v_old.machine = v_machine AND v_old.xh = p_xh AND v_old.xm = p_xm AND v_old.lrxm = p_lrxm
       AND v_old.lrcj = p_lrcj AND v_old.lrsd = p_lrsd AND v_old.lrzql = p_lrzql AND v_old.lrdate = p_lrdate
       AND v_old.lrtime = p_lrtime AND v_old.lrpc IS NOT DISTINCT FROM p_lrpc AND v_old.kind = p_kind
       AND v_old.text_sha256 = v_sha AND v_old.log = p_log THEN
        RETURN 'again';
    END IF;
    INSERT INTO typelab.refused_copy (id, machine, received_at, reason)
    VALUES (p_id, v_machine, clock_timestamp(),
            CASE WHEN v_old.machine = v_machine THEN 'conflict: the id holds another body'
                 ELSE 'conflict: the id holds a result of another machine' END);
    RETURN 'conflict';
END;
$$;

-- Rights: machines execute submit and nothing else; teachers read the view; the verifier gets
-- its rights later. Nobody but typelab_owner writes a table.
REVOKE ALL ON FUNCTION typelab.submit(uuid, text, text, text, double precision, double precision,
    double precision, date, time, text, smallint, bytea, bytea) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION typelab.submit(uuid, text, text, text, double precision, double precision,
    double precision, date, time, text, smallint, bytea, bytea) TO typelab_machine;
REVOKE ALL ON SCHEMA typelab FROM PUBLIC;
GRANT USAGE ON SCHEMA typelab TO typelab_machine, typelab_teacher, typelab_verify;
REVOKE ALL ON ALL TABLES IN SCHEMA typelab FROM PUBLIC;
GRANT SELECT ON typelab.results TO typelab_teacher;
REVOKE ALL ON DATABASE typelab FROM PUBLIC;
GRANT CONNECT ON DATABASE typelab TO typelab_machine, typelab_teacher, typelab_verify;
