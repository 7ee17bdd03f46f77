-- A to_char of the user's own that fails, found before pg_catalog's once
-- orafce's schema puts pg_catalog on the search path after the user's.
CREATE FUNCTION to_char(timestamp, text) RETURNS text LANGUAGE plpgsql
  AS $$BEGIN RAISE EXCEPTION 'the clock is not readable'; END$$;
