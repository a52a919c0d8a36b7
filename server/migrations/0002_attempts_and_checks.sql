-- One attempt per batch and student across the school, the live view of a sitting, and the
-- server's own check of every result. Machines claim a batch at the test login, note their
-- progress while a test exercise runs and may be allowed a second attempt by the supervisor;
-- the verifier (typelab-server verify) replays every result received and records what it found.
--
-- Every function takes the machine from session_user (its certificate's name) and the time from
-- the server's clock. Batches and student numbers compare without regard to the case of ASCII
-- letters, as everywhere in typelab. Every change that concerns a batch sends NOTIFY
-- typelab_batch with the batch in lower case, and every new result NOTIFY typelab_received with
-- its id, in the transaction that makes the change: a listener hears of it after the COMMIT.

-- The claim of a batch by a student: one per batch and student, made by the first machine the
-- student logged in on (or, when the server was away, the first whose queued claim arrived).
CREATE TABLE typelab.claim (
    batch text NOT NULL,
    xh text NOT NULL,
    xm text NOT NULL,
    machine text NOT NULL,
    claimed_at timestamptz NOT NULL,
    queued boolean NOT NULL,          -- made while the server was away, sent later
    claimed_on_machine timestamptz    -- a queued claim's time by the machine's clock, for the teacher
);
CREATE UNIQUE INDEX claim_batch_student ON typelab.claim (lower(batch), lower(xh));

-- Every claim a machine sent from its outbox, with what it found; a conflict stays here.
CREATE TABLE typelab.queued_claim (
    id uuid PRIMARY KEY,
    batch text NOT NULL,
    xh text NOT NULL,
    xm text NOT NULL,
    machine text NOT NULL,
    claimed_on_machine timestamptz,
    received_at timestamptz NOT NULL,
    answer text NOT NULL
);
CREATE INDEX queued_claim_batch_student ON typelab.queued_claim (lower(batch), lower(xh));

-- A supervisor's second-login password typed on a machine: the student may take the batch there
-- although it was claimed. Who (the machine), when, and which claim it overrode.
CREATE TABLE typelab.allowance (
    id uuid PRIMARY KEY,
    batch text NOT NULL,
    xh text NOT NULL,
    xm text NOT NULL,
    machine text NOT NULL,
    allowed_at timestamptz NOT NULL,
    overrode_machine text,
    overrode_claimed_at timestamptz
);
CREATE INDEX allowance_batch_student ON typelab.allowance (lower(batch), lower(xh), machine);

-- One row per batch, student and machine that claimed, was allowed, noted progress or sent a
-- result: what the live view of a sitting reads. A progress note updates its row in place.
CREATE TABLE typelab.attempt (
    batch text NOT NULL,
    xh text NOT NULL,
    xm text NOT NULL,
    machine text NOT NULL,
    began_at timestamptz NOT NULL,
    heard_at timestamptz NOT NULL,    -- the machine's last word on this attempt
    progress_at timestamptz,          -- its last progress note
    typed integer,
    seconds_left integer
);
CREATE UNIQUE INDEX attempt_batch_student_machine ON typelab.attempt (lower(batch), lower(xh), machine);

-- What the verifier found: its own figures, why a result is not verified (Chinese, for the
-- teacher) and the marks the keystroke timing raised. verified is null until it has looked.
ALTER TABLE typelab.result
    ADD COLUMN verified boolean,
    ADD COLUMN verified_at timestamptz,
    ADD COLUMN server_lrcj double precision,
    ADD COLUMN server_lrsd double precision,
    ADD COLUMN server_lrzql double precision,
    ADD COLUMN problem text,
    ADD COLUMN marks text;
-- The verifier's queue: only what waits is indexed.
CREATE INDEX result_unverified ON typelab.result (received_at) WHERE verified IS NULL;
-- A student's results of a batch on a machine, for the attempts and the duplicate mark.
CREATE INDEX result_batch_student ON typelab.result (lower(lrpc), lower(xh), machine);

-- ---- helpers, called only from the functions below (as typelab_owner) ---------------------------

-- The calling machine, which must be enrolled and not revoked.
CREATE FUNCTION typelab.calling_machine() RETURNS text
LANGUAGE plpgsql STABLE
SET search_path = pg_catalog, pg_temp
AS $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM typelab.machine m WHERE m.name = session_user AND m.revoked_at IS NULL) THEN
        RAISE EXCEPTION 'typelab: % is not an enrolled machine', session_user USING ERRCODE = 'insufficient_privilege';
    END IF;
    RETURN session_user;
END;
$$;

-- A batch, student number and name as a test login takes them (the bounds of typelab.submit).
CREATE FUNCTION typelab.check_student(p_batch text, p_xh text, p_xm text) RETURNS void
LANGUAGE plpgsql IMMUTABLE
SET search_path = pg_catalog, pg_temp
AS $$
BEGIN
    IF p_batch IS NULL OR p_xh IS NULL OR p_xm IS NULL OR p_batch = '' OR p_xh = '' THEN
        RAISE EXCEPTION 'typelab: the batch, the student number and the name are needed'
            USING ERRCODE = 'invalid_parameter_value';
    END IF;
    IF char_length(p_batch) > 20 OR char_length(p_xh) > 20 OR char_length(p_xm) > 24 THEN
        RAISE EXCEPTION 'typelab: student number, name or batch too long' USING ERRCODE = 'invalid_parameter_value';
    END IF;
END;
$$;

-- The attempt's row, made or brought up to date: heard from now. An attempt that begins anew
-- here (a first claim, an allowance) starts without progress.
CREATE FUNCTION typelab.touch_attempt(p_batch text, p_xh text, p_xm text, p_machine text, p_at timestamptz,
                                      p_begins boolean) RETURNS void
LANGUAGE sql
SET search_path = pg_catalog, pg_temp
AS $$
    INSERT INTO typelab.attempt AS a (batch, xh, xm, machine, began_at, heard_at)
    VALUES (p_batch, p_xh, p_xm, p_machine, p_at, p_at)
    ON CONFLICT ((lower(batch)), (lower(xh)), machine) DO UPDATE
    SET xm = excluded.xm,
        heard_at = greatest(a.heard_at, excluded.heard_at),
        began_at = CASE WHEN p_begins THEN excluded.began_at ELSE a.began_at END,
        progress_at = CASE WHEN p_begins THEN NULL ELSE a.progress_at END,
        typed = CASE WHEN p_begins THEN NULL ELSE a.typed END,
        seconds_left = CASE WHEN p_begins THEN NULL ELSE a.seconds_left END;
$$;

-- The machine holding the claim of a batch and student, or null.
CREATE FUNCTION typelab.claim_holder(p_batch text, p_xh text) RETURNS text
LANGUAGE sql STABLE
SET search_path = pg_catalog, pg_temp
AS $$
    SELECT c.machine FROM typelab.claim c WHERE lower(c.batch) = lower(p_batch) AND lower(c.xh) = lower(p_xh);
$$;

-- ---- for machines -----------------------------------------------------------------------------

-- The claim at a test login: 'granted' (the first, recorded now), 'again' (this machine holds
-- it) or 'elsewhere:NAME'. Two machines claiming at once: the unique index lets one insert, the
-- other waits for its COMMIT and then finds that claim.
CREATE FUNCTION typelab.claim_attempt(batch text, xh text, xm text) RETURNS text
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    v_machine text := typelab.calling_machine();
    v_now timestamptz := clock_timestamp();
    v_holder text;
BEGIN
    PERFORM typelab.check_student($1, $2, $3);
    INSERT INTO typelab.claim (batch, xh, xm, machine, claimed_at, queued)
    VALUES ($1, $2, $3, v_machine, v_now, false)
    ON CONFLICT ((lower(batch)), (lower(xh))) DO NOTHING;
    IF FOUND THEN
        PERFORM typelab.touch_attempt($1, $2, $3, v_machine, v_now, true);
        PERFORM pg_notify('typelab_batch', lower($1));
        RETURN 'granted';
    END IF;
    v_holder := typelab.claim_holder($1, $2);
    RETURN CASE WHEN v_holder = v_machine THEN 'again' ELSE 'elsewhere:' || v_holder END;
END;
$$;

-- When the claim of a batch and student was made (for the refusal's message), or null.
CREATE FUNCTION typelab.claimed_at(batch text, xh text) RETURNS timestamptz
LANGUAGE plpgsql STABLE
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
#variable_conflict use_column
BEGIN
    PERFORM typelab.calling_machine();
    RETURN (SELECT c.claimed_at FROM typelab.claim c WHERE lower(c.batch) = lower($1) AND lower(c.xh) = lower($2));
END;
$$;

-- The supervisor let the student take the batch on the calling machine although it was claimed
-- (elsewhere or here): recorded with the claim it overrode, once for each id. Where nobody holds
-- the claim yet, this machine takes it.
CREATE FUNCTION typelab.allow_attempt(p_id uuid, batch text, xh text, xm text) RETURNS text
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    v_machine text := typelab.calling_machine();
    v_now timestamptz := clock_timestamp();
    v_recorded_by text;
    v_claim typelab.claim%ROWTYPE;
BEGIN
    IF p_id IS NULL THEN
        RAISE EXCEPTION 'typelab: an allowance needs its id' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    PERFORM typelab.check_student($2, $3, $4);
    SELECT a.machine INTO v_recorded_by FROM typelab.allowance a WHERE a.id = p_id;
    IF NOT FOUND THEN
        SELECT * INTO v_claim FROM typelab.claim c WHERE lower(c.batch) = lower($2) AND lower(c.xh) = lower($3);
        INSERT INTO typelab.allowance (id, batch, xh, xm, machine, allowed_at, overrode_machine, overrode_claimed_at)
        VALUES (p_id, $2, $3, $4, v_machine, v_now, v_claim.machine, v_claim.claimed_at)
        ON CONFLICT (id) DO NOTHING;
        IF FOUND THEN
            INSERT INTO typelab.claim (batch, xh, xm, machine, claimed_at, queued)
            VALUES ($2, $3, $4, v_machine, v_now, false)
            ON CONFLICT ((lower(batch)), (lower(xh))) DO NOTHING;
            PERFORM typelab.touch_attempt($2, $3, $4, v_machine, v_now, true);
            PERFORM pg_notify('typelab_batch', lower($2));
            RETURN 'allowed';
        END IF;
        -- The same id recorded at the same moment by another session.
        SELECT a.machine INTO v_recorded_by FROM typelab.allowance a WHERE a.id = p_id;
    END IF;
    IF v_recorded_by <> v_machine THEN
        RAISE EXCEPTION 'typelab: the allowance % was recorded by another machine', p_id
            USING ERRCODE = 'unique_violation';
    END IF;
    RETURN 'allowed';
END;
$$;

-- A claim made while the server was away, sent later from the machine's outbox, once for each id:
-- 'granted' when nobody held the claim (this machine takes it), else 'again' or 'elsewhere:NAME'.
-- It never refuses and never deletes: the attempt is recorded either way, and a result of it
-- that the claim does not cover shows as duplicate.
CREATE FUNCTION typelab.record_claim(p_id uuid, batch text, xh text, xm text, p_claimed_on_machine timestamptz)
RETURNS text
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    v_machine text := typelab.calling_machine();
    v_now timestamptz := clock_timestamp();
    v_answer text;
    v_recorded_by text;
    v_holder text;
BEGIN
    IF p_id IS NULL THEN
        RAISE EXCEPTION 'typelab: a queued claim needs its id' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    PERFORM typelab.check_student($2, $3, $4);
    SELECT q.machine, q.answer INTO v_recorded_by, v_answer FROM typelab.queued_claim q WHERE q.id = p_id;
    IF NOT FOUND THEN
        INSERT INTO typelab.claim (batch, xh, xm, machine, claimed_at, queued, claimed_on_machine)
        VALUES ($2, $3, $4, v_machine, v_now, true, p_claimed_on_machine)
        ON CONFLICT ((lower(batch)), (lower(xh))) DO NOTHING;
        IF FOUND THEN
            v_answer := 'granted';
        ELSE
            v_holder := typelab.claim_holder($2, $3);
            v_answer := CASE WHEN v_holder = v_machine THEN 'again' ELSE 'elsewhere:' || v_holder END;
        END IF;
        INSERT INTO typelab.queued_claim (id, batch, xh, xm, machine, claimed_on_machine, received_at, answer)
        VALUES (p_id, $2, $3, $4, v_machine, p_claimed_on_machine, v_now, v_answer)
        ON CONFLICT (id) DO NOTHING;
        IF FOUND THEN
            PERFORM typelab.touch_attempt($2, $3, $4, v_machine, v_now, false);
            PERFORM pg_notify('typelab_batch', lower($2));
            RETURN v_answer;
        END IF;
        SELECT q.machine, q.answer INTO v_recorded_by, v_answer FROM typelab.queued_claim q WHERE q.id = p_id;
    END IF;
    IF v_recorded_by <> v_machine THEN
        RAISE EXCEPTION 'typelab: the claim % was recorded by another machine', p_id USING ERRCODE = 'unique_violation';
    END IF;
    RETURN v_answer;
END;
$$;

-- The latest progress of a test exercise on the calling machine: one row per batch, student and
-- machine, updated in place. Every machine of a sitting sends one every 30 s, so it is one
-- look-up, one upsert and one notification.
CREATE FUNCTION typelab.note_progress(batch text, xh text, xm text, typed integer, seconds_left integer)
RETURNS text
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    v_machine text := typelab.calling_machine();
    v_now timestamptz := clock_timestamp();
BEGIN
    PERFORM typelab.check_student($1, $2, $3);
    IF $4 IS NULL OR $5 IS NULL OR $4 < 0 OR $4 > 65536 OR $5 < 0 OR $5 > 600 THEN
        RAISE EXCEPTION 'typelab: progress of % characters with % seconds left is out of bounds', $4, $5
            USING ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO typelab.attempt AS a (batch, xh, xm, machine, began_at, heard_at, progress_at, typed, seconds_left)
    VALUES ($1, $2, $3, v_machine, v_now, v_now, v_now, $4, $5)
    ON CONFLICT ((lower(batch)), (lower(xh)), machine) DO UPDATE
    SET xm = excluded.xm, heard_at = excluded.heard_at, progress_at = excluded.progress_at,
        typed = excluded.typed, seconds_left = excluded.seconds_left;
    PERFORM pg_notify('typelab_batch', lower($1));
    RETURN 'noted';
END;
$$;

-- typelab.submit as before, and now a stored result is announced to the verifier and, when it
-- belongs to a test batch, counts as the machine's word on that attempt.
CREATE OR REPLACE FUNCTION typelab.submit(p_id uuid, p_xh text, p_xm text, p_lrxm text, p_lrcj double precision,
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
    v_now timestamptz;
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
        v_now := clock_timestamp();
        INSERT INTO typelab.result (id, machine, received_at, xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc,
                                    kind, text_sha256, log)
        VALUES (p_id, v_machine, v_now, p_xh, p_xm, p_lrxm, p_lrcj, p_lrsd, p_lrzql, p_lrdate, p_lrtime, p_lrpc,
                p_kind, v_sha, p_log)
        ON CONFLICT (id) DO NOTHING;
        IF FOUND THEN
            PERFORM pg_notify('typelab_received', p_id::text);
            IF p_lrpc IS NOT NULL AND p_lrpc <> '' THEN
                PERFORM typelab.touch_attempt(p_lrpc, p_xh, p_xm, v_machine, v_now, false);
                PERFORM pg_notify('typelab_batch', lower(p_lrpc));
            END IF;
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

-- ---- for the verifier -------------------------------------------------------------------------

-- Results not yet checked, oldest first, with the text they were typed against.
CREATE FUNCTION typelab.verify_queue(p_limit integer)
RETURNS TABLE (id uuid, kind smallint, text bytea, log bytea, lrcj double precision, lrsd double precision,
               lrzql double precision)
LANGUAGE sql STABLE
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
    SELECT r.id, r.kind, t.text, r.log, r.lrcj, r.lrsd, r.lrzql
      FROM typelab.result r
      JOIN typelab.exercise_text t ON t.sha256 = r.text_sha256
     WHERE r.verified IS NULL
     ORDER BY r.received_at, r.id
     LIMIT least(greatest(p_limit, 1), 1000);
$$;

-- What the verifier found for one result: 'recorded', or 'unknown' for an id the server does not
-- hold. Checking again replaces the earlier finding.
CREATE FUNCTION typelab.record_verification(p_id uuid, p_verified boolean, p_lrcj double precision,
                                            p_lrsd double precision, p_lrzql double precision, p_problem text,
                                            p_marks text)
RETURNS text
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
DECLARE
    v_batch text;
BEGIN
    IF p_verified IS NULL THEN
        RAISE EXCEPTION 'typelab: a verification is true or false' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    UPDATE typelab.result r
       SET verified = p_verified, verified_at = clock_timestamp(), server_lrcj = p_lrcj, server_lrsd = p_lrsd,
           server_lrzql = p_lrzql, problem = p_problem, marks = p_marks
     WHERE r.id = p_id
    RETURNING r.lrpc INTO v_batch;
    IF NOT FOUND THEN
        RETURN 'unknown';
    END IF;
    IF v_batch IS NOT NULL AND v_batch <> '' THEN
        PERFORM pg_notify('typelab_batch', lower(v_batch));
    END IF;
    RETURN 'recorded';
END;
$$;

-- ---- for teachers -----------------------------------------------------------------------------

-- Whether a student took a batch on more than one machine where neither the claim nor an
-- allowance covers one of them (重复参加). Every result and attempt of that student and batch
-- carries the mark, so the teacher sees all of them side by side and keeps the one that counts;
-- nothing is deleted. Machines are those with an attempt or a result of the batch.
CREATE FUNCTION typelab.taken_twice(p_batch text, p_xh text) RETURNS boolean
LANGUAGE sql STABLE
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
    SELECT coalesce(count(*) > 1 AND bool_or(
               NOT EXISTS (SELECT 1 FROM typelab.claim c
                            WHERE lower(c.batch) = lower(p_batch) AND lower(c.xh) = lower(p_xh)
                              AND c.machine = m.machine)
               AND NOT EXISTS (SELECT 1 FROM typelab.allowance al
                                WHERE lower(al.batch) = lower(p_batch) AND lower(al.xh) = lower(p_xh)
                                  AND al.machine = m.machine)), false)
      FROM (SELECT at.machine FROM typelab.attempt at
             WHERE lower(at.batch) = lower(p_batch) AND lower(at.xh) = lower(p_xh)
            UNION
            SELECT o.machine FROM typelab.result o
             WHERE lower(o.lrpc) = lower(p_batch) AND lower(o.xh) = lower(p_xh)) m;
$$;

-- Results as before, with the verifier's finding and the duplicate mark.
CREATE OR REPLACE VIEW typelab.results AS
SELECT r.id, r.xh, r.xm, r.lrpc, r.lrdate, r.lrtime, r.lrsd, r.lrzql, r.lrcj, r.lrxm, r.machine, r.received_at,
       r.lrdate AS lrrq, r.lrtime AS lrsj,
       r.verified,
       r.marks,
       (r.lrpc IS NOT NULL AND typelab.taken_twice(r.lrpc, r.xh)) AS duplicate,
       r.problem,
       r.server_lrsd, r.server_lrzql, r.server_lrcj
  FROM typelab.result r;

-- Claims: who took each batch first and where, whether the claim came late from an outbox,
-- the machines the supervisor allowed another attempt on, and the machines whose claims made
-- while the server was away found this one.
CREATE VIEW typelab.claims AS
SELECT c.batch, c.xh, c.xm, c.machine, c.claimed_at, c.queued,
       (SELECT string_agg(DISTINCT a.machine, ',' ORDER BY a.machine) FROM typelab.allowance a
         WHERE lower(a.batch) = lower(c.batch) AND lower(a.xh) = lower(c.xh)) AS allowed,
       c.claimed_on_machine,
       (SELECT string_agg(DISTINCT q.machine, ',' ORDER BY q.machine) FROM typelab.queued_claim q
         WHERE lower(q.batch) = lower(c.batch) AND lower(q.xh) = lower(c.xh) AND q.machine <> c.machine) AS conflicts
  FROM typelab.claim c;

-- The live view of a sitting, read as WHERE lower(batch) = lower($1): one row per batch, student
-- and machine. finished: the latest result came after the attempt began and after its last
-- progress note; the figures are that result's. verified: false when any result of the attempt
-- is, null while one waits. duplicate: as on the results. heard_at against server_now tells a
-- machine that has gone silent, whatever the teacher's clock says.
CREATE VIEW typelab.attempts AS
SELECT a.batch, a.xh, a.xm, a.machine, a.began_at, a.heard_at, a.typed, a.seconds_left,
       coalesce(r.last_received >= greatest(a.began_at, a.progress_at), false) AS finished,
       r.lrsd, r.lrzql, r.lrcj,
       r.verified,
       typelab.taken_twice(a.batch, a.xh) AS duplicate,
       r.marks,
       now() AS server_now
  FROM typelab.attempt a
  LEFT JOIN LATERAL (
        SELECT max(x.received_at) AS last_received,
               (array_agg(x.lrsd ORDER BY x.received_at DESC))[1] AS lrsd,
               (array_agg(x.lrzql ORDER BY x.received_at DESC))[1] AS lrzql,
               (array_agg(x.lrcj ORDER BY x.received_at DESC))[1] AS lrcj,
               CASE WHEN bool_or(x.verified = false) THEN false
                    WHEN bool_or(x.verified IS NULL) THEN NULL
                    ELSE bool_and(x.verified) END AS verified,
               string_agg(x.marks, '；' ORDER BY x.received_at) AS marks
          FROM typelab.result x
         WHERE lower(x.lrpc) = lower(a.batch) AND lower(x.xh) = lower(a.xh) AND x.machine = a.machine) r ON true;

-- ---- rights -----------------------------------------------------------------------------------

REVOKE ALL ON FUNCTION typelab.calling_machine() FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.check_student(text, text, text) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.touch_attempt(text, text, text, text, timestamptz, boolean) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.claim_holder(text, text) FROM PUBLIC;

REVOKE ALL ON FUNCTION typelab.claim_attempt(text, text, text) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.claimed_at(text, text) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.allow_attempt(uuid, text, text, text) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.record_claim(uuid, text, text, text, timestamptz) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.note_progress(text, text, text, integer, integer) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION typelab.claim_attempt(text, text, text) TO typelab_machine;
GRANT EXECUTE ON FUNCTION typelab.claimed_at(text, text) TO typelab_machine;
GRANT EXECUTE ON FUNCTION typelab.allow_attempt(uuid, text, text, text) TO typelab_machine;
GRANT EXECUTE ON FUNCTION typelab.record_claim(uuid, text, text, text, timestamptz) TO typelab_machine;
GRANT EXECUTE ON FUNCTION typelab.note_progress(text, text, text, integer, integer) TO typelab_machine;

REVOKE ALL ON FUNCTION typelab.verify_queue(integer) FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.record_verification(uuid, boolean, double precision, double precision,
    double precision, text, text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION typelab.verify_queue(integer) TO typelab_verify;
GRANT EXECUTE ON FUNCTION typelab.record_verification(uuid, boolean, double precision, double precision,
    double precision, text, text) TO typelab_verify;

REVOKE ALL ON ALL TABLES IN SCHEMA typelab FROM PUBLIC;
REVOKE ALL ON FUNCTION typelab.taken_twice(text, text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION typelab.taken_twice(text, text) TO typelab_teacher;
GRANT SELECT ON typelab.results, typelab.claims, typelab.attempts TO typelab_teacher;
