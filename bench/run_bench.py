#!/usr/bin/env python3
"""Runs the benchmark that scripts/bench prints: Vantrix's Compare beside the
tools users would pick instead, on generated schema pairs in SQLite files and
in a private MariaDB and PostgreSQL on loopback.

Called by scripts/bench with the build folder and the test servers' settings
in the environment (VANTRIX_TEST_MYSQL_*, VANTRIX_TEST_PG_*). Prints one
table.
"""
import argparse
import os
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

PASSWORD = "bench-pw"


def log(text):
    print(text, file=sys.stderr, flush=True)


class MariaDb:
    def __init__(self):
        self.host = os.environ["VANTRIX_TEST_MYSQL_HOST"]
        self.port = int(os.environ["VANTRIX_TEST_MYSQL_PORT"])
        self.user = os.environ["VANTRIX_TEST_MYSQL_USER"]
        self.password = os.environ["VANTRIX_TEST_MYSQL_PASSWORD"]

    def client(self, user=None, password=None, database=None):
        args = ["mariadb", "--no-defaults", "-h", self.host, "-P", str(self.port),
                "-u", user or self.user, "-p" + (password or self.password), "--batch",
                "--skip-column-names"]
        return args + ([database] if database else [])

    def run(self, sql, database=None, stdin=None):
        return subprocess.run(self.client(database=database), input=sql if stdin is None else stdin,
                              text=True, capture_output=True, check=True).stdout

    def account(self, name):
        """An account of its own for one tool and side, whose statements the
        server counts (user statistics)."""
        self.run(f"DROP USER IF EXISTS '{name}'@'127.0.0.1';"
                 f"CREATE USER '{name}'@'127.0.0.1' IDENTIFIED BY '{PASSWORD}';"
                 f"GRANT ALL PRIVILEGES ON *.* TO '{name}'@'127.0.0.1';")
        return name

    def counts(self, name):
        out = self.run("SELECT TOTAL_CONNECTIONS, SELECT_COMMANDS + UPDATE_COMMANDS + "
                       "OTHER_COMMANDS FROM information_schema.USER_STATISTICS "
                       f"WHERE USER = '{name}'").split()
        return (int(out[0]), int(out[1])) if out else (0, 0)


class Postgres:
    """The PostgreSQL test server, when scripts/bench started one
    (VANTRIX_TEST_PG_*)."""

    def __init__(self):
        self.host = os.environ["VANTRIX_TEST_PG_HOST"]
        self.port = int(os.environ["VANTRIX_TEST_PG_PORT"])
        self.user = os.environ["VANTRIX_TEST_PG_USER"]
        self.password = os.environ["VANTRIX_TEST_PG_PASSWORD"]

    def run(self, sql, database):
        return subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", self.host,
                               "-p", str(self.port), "-U", self.user, "-d", database],
                              input=sql, text=True, capture_output=True, check=True,
                              env=dict(os.environ, PGPASSWORD=self.password)).stdout

    def url(self, database):
        return f"postgresql://{self.user}@{self.host}:{self.port}/{database}"


class Row:
    """One line of the table; costs are (connections, statements) per side,
    None for a side the tool does not reach, or no costs at all."""

    def __init__(self, tool, engine, tables, times, costs=None, stopped_after=None, failed=None):
        self.tool, self.engine, self.tables, self.times, self.costs = (
            tool, engine, tables, times, costs)
        self.stopped_after, self.failed = stopped_after, failed
        log(f"   -> {self.line()}")

    def line(self):
        if self.failed:
            return f"{self.tool}, {self.engine}, {self.tables}: {self.failed}"
        if self.stopped_after:
            return f"{self.tool}, {self.engine}, {self.tables}: stopped after {self.stopped_after} s"
        return (f"{self.tool}, {self.engine}, {self.tables}: median {self.median:.3f} s of "
                f"{len(self.times)}, costs {self.costs}")

    @property
    def median(self):
        return statistics.median(self.times) if self.times else None


class Stopped(Exception):
    """A tool ran past the time it was given."""


def settle(limit=120):
    """Waits until the machine is idle again, at most `limit` seconds: a
    server that has just made thousands of tables goes on purging and
    computing their statistics for a while, and the figures are of a server
    at rest, as the one a schema is compared on."""
    def ticks():
        with open("/proc/stat") as stat:
            values = [int(v) for v in stat.readline().split()[1:]]
        return sum(values), values[3] + values[4]
    start = time.monotonic()
    while time.monotonic() - start < limit:
        total, idle = ticks()
        time.sleep(1)
        total2, idle2 = ticks()
        if total2 > total and (idle2 - idle) / (total2 - total) >= 0.95:
            break
    log(f"   (servers at rest after {time.monotonic() - start:.0f} s)")


def timed(command, env=None, ok_codes=(0,), timeout=None):
    """Seconds a command took and its output. A command still running after
    `timeout` seconds is stopped with everything it started (Stopped)."""
    start = time.monotonic()
    process = subprocess.Popen(command, shell=isinstance(command, str), env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               start_new_session=True)
    try:
        out, err = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise Stopped()
    elapsed = time.monotonic() - start
    if process.returncode not in ok_codes:
        raise RuntimeError(f"{command}: exit {process.returncode}: {err[-500:]}")
    return elapsed, out


def bench_runs(output):
    """Seconds of each 'run <ms> ...' line of vantrix_bench."""
    return [float(line.split()[1]) / 1000 for line in output.splitlines() if line.startswith("run ")]


def per_side(db, accounts, action, runs, listing=False):
    """Runs `action(runs)` and answers its result with the statements and
    connections of one run per side. With `listing`, the action lists the
    tables once before its runs (as Vantrix's Connect does); then `action(1)`
    runs too, and what the listing costs drops out of the difference."""
    before = [db.counts(a) for a in accounts]
    result = action(runs)
    middle = [db.counts(a) for a in accounts]
    if not listing:
        return result, [((m[0] - b[0]) / runs, (m[1] - b[1]) / runs)
                        for b, m in zip(before, middle)]
    action(1)
    after = [db.counts(a) for a in accounts]
    costs = []
    for b, m, a in zip(before, middle, after):
        many = (m[0] - b[0], m[1] - b[1])
        one = (a[0] - m[0], a[1] - m[1])
        if runs > 1:
            costs.append(((many[0] - one[0]) / (runs - 1), (many[1] - one[1]) / (runs - 1)))
        else:
            costs.append(one)
    return result, costs


def fmt_cost(costs, index):
    if costs is None:
        return "–"
    return " / ".join("–" if c is None else f"{c[index]:g}" for c in costs)


def child_peak_kb(command, env=None):
    """Runs a command to its end; its seconds and the peak resident memory
    of the largest child so far (ru_maxrss of the children)."""
    start = time.monotonic()
    subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    return elapsed, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss


def fleet_rows(args, bench, diff_tool, db, work, rows, notes):
    """Snapshots and fleets: reading a 20,000-table snapshot, and --each
    over 200 tenant databases of 50 tables against a shell loop of
    vantrix-diff. (The dump of each size's MariaDB DB 1 is timed with the
    other vantrix-diff rows.)"""
    runs = args.runs
    log("== snapshots and fleets")
    sqlite_dir = os.path.join(work, "sqlite20000")
    subprocess.run([bench, "generate-sqlite", "20000", sqlite_dir], check=True)
    snapshot = os.path.join(work, "s20000.json")
    subprocess.run([diff_tool, "--dump", "-o", snapshot, os.path.join(sqlite_dir, "db1.sqlite")],
                   check=True)
    # Reading it into a schema, alone: the time of each read and the peak
    # memory of the process.
    out = subprocess.run([bench, "read-snapshot", snapshot, str(runs)], check=True,
                         capture_output=True, text=True).stdout
    rows.append(Row("reading a snapshot into a schema", "JSON", 20000, bench_runs(out)))
    for line in out.splitlines():
        if line.startswith("peak_rss_kb"):
            notes.append(f"Peak resident memory of reading the 20,000-table snapshot "
                         f"({os.path.getsize(snapshot) // (1024 * 1024)} MB) into a schema: "
                         f"{int(line.split()[1]) // 1024} MB")
    # The snapshot against itself: read twice, compared, nothing else.
    times = []
    peak = 0
    for _ in range(runs):
        elapsed, peak = child_peak_kb([diff_tool, "--format", "json", "-o", os.devnull,
                                       snapshot, snapshot])
        times.append(elapsed / 2)
    rows.append(Row("reading a snapshot (half of snapshot vs itself)", "JSON", 20000, times))
    notes.append(f"Peak resident memory of vantrix-diff comparing the 20,000-table snapshot with "
                 f"itself: {peak / 1024:.0f} MB")
    # 200 tenants of 50 tables; every 10th changed.
    log("   200 tenant databases of 50 tables")
    reference = subprocess.run([bench, "generate-sql", "50", "1"], check=True,
                               capture_output=True, text=True).stdout
    changed = subprocess.run([bench, "generate-sql", "50", "2"], check=True,
                             capture_output=True, text=True).stdout
    tenants = []
    for t in range(200):
        name = f"vt_{t:03d}"
        db.run(f"DROP DATABASE IF EXISTS {name}; CREATE DATABASE {name};")
        db.run(None, database=name, stdin=changed if t % 10 == 9 else reference)
        tenants.append(f"mysql://{db.user}@{db.host}:{db.port}/{name}")
    db.run("DROP DATABASE IF EXISTS vt_ref; CREATE DATABASE vt_ref;")
    db.run(None, database="vt_ref", stdin=reference)
    ref = f"mysql://{db.user}@{db.host}:{db.port}/vt_ref"
    settle()
    env = dict(os.environ, VANTRIX_DB1_PASSWORD=db.password, VANTRIX_DB2_PASSWORD=db.password)
    targets = os.path.join(work, "targets.txt")
    with open(targets, "w") as f:
        f.write("\n".join(tenants) + "\n")
    times = [timed([diff_tool, "--each", "--targets", targets, "-o", os.devnull, ref],
                   env=env, ok_codes=(1,))[0] for _ in range(runs)]
    rows.append(Row("vantrix-diff --each (8 jobs)", "MariaDB", 200 * 50, times))
    loop = "; ".join(f"{diff_tool} -q {ref} {t}" for t in tenants)
    times = [timed(loop, env=env, ok_codes=(0, 1))[0] for _ in range(max(1, runs // 2))]
    rows.append(Row("vantrix-diff one by one in a shell loop", "MariaDB", 200 * 50, times))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--sizes", default="200 2000 20000")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--slow-tool-limit", type=int, default=2000,
                        help="above this many tables, the other tools run once")
    parser.add_argument("--tool-timeout", type=int, default=600,
                        help="seconds after which another tool's run is stopped")
    parser.add_argument("--fleet", action=argparse.BooleanOptionalAction, default=True,
                        help="also time snapshots and --each over 200 tenant databases")
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench", "vantrix_bench")
    diff_tool = os.path.join(args.build, "vantrix-diff")
    have_diff = os.path.exists(diff_tool)
    db = MariaDb()
    pg = Postgres() if os.environ.get("VANTRIX_TEST_PG_HOST") else None
    work = tempfile.mkdtemp(prefix="vantrix-bench.")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    rows = []
    notes = []
    peak_rss = {}
    relay = None
    try:
        relay_port = db.port + 1000
        relay = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__),
                                                               "delay-relay.py"),
                                  str(relay_port), str(db.port), "20"],
                                 stdout=subprocess.PIPE, text=True)
        relay.stdout.readline()
        for tables in [int(s) for s in args.sizes.split()]:
            runs = args.runs
            other_runs = runs if tables <= args.slow_tool_limit else 1
            log(f"== {tables} tables: making the pair")
            sqlite_dir = os.path.join(work, f"sqlite{tables}")
            subprocess.run([bench, "generate-sqlite", str(tables), sqlite_dir], check=True)
            s1, s2 = (os.path.join(sqlite_dir, f"db{i}.sqlite") for i in (1, 2))
            names = [f"vb{tables}_1", f"vb{tables}_2"]
            for side, name in enumerate(names, 1):
                db.run(f"DROP DATABASE IF EXISTS {name}; CREATE DATABASE {name};")
                sql = subprocess.run([bench, "generate-sql", str(tables), str(side)], check=True,
                                     capture_output=True, text=True).stdout
                db.run(None, database=name, stdin=sql)
            settle()

            def side_spec(account, database, port=db.port):
                return f"mysql:{db.host}:{port}:{account}:{PASSWORD}:{database}"

            # Vantrix through the core and through the window.
            for kind in ("core", "window"):
                accounts = [db.account(f"b_{kind}_{tables}_{i}") for i in (1, 2)]
                log(f"   Vantrix {kind}, MariaDB")

                def run_maria(n, kind=kind, accounts=accounts, port=db.port):
                    out = subprocess.run([bench, kind, side_spec(accounts[0], names[0], port),
                                          side_spec(accounts[1], names[1], port), str(n)],
                                         env=env, check=True, capture_output=True, text=True).stdout
                    return out

                out, costs = per_side(db, accounts, run_maria, runs, listing=True)
                rows.append(Row(f"Vantrix Compare ({kind})", "MariaDB", tables, bench_runs(out),
                                costs))
                for line in out.splitlines():
                    if line.startswith("peak_rss_kb"):
                        peak_rss[("MariaDB", tables)] = int(line.split()[1])
                        log(f"   -> peak resident memory: {int(line.split()[1]) // 1024} MB")
                log(f"   Vantrix {kind}, SQLite")
                out = subprocess.run([bench, kind, "sqlite:" + s1, "sqlite:" + s2, str(runs)],
                                     env=env, check=True, capture_output=True, text=True).stdout
                rows.append(Row(f"Vantrix Compare ({kind})", "SQLite", tables, bench_runs(out)))
                for line in out.splitlines():
                    if line.startswith("peak_rss_kb"):
                        peak_rss[("SQLite", tables)] = int(line.split()[1])
                        log(f"   -> peak resident memory: {int(line.split()[1]) // 1024} MB")

                # The same through a network with 20 ms each way.
                accounts = [db.account(f"b_{kind}_relay_{tables}_{i}") for i in (1, 2)]
                log(f"   Vantrix {kind}, MariaDB through the 20 ms relay")

                def run_relay(n, kind=kind, accounts=accounts):
                    return run_maria(n, kind, accounts, relay_port)

                out, costs = per_side(db, accounts, run_relay, runs, listing=True)
                rows.append(Row(f"Vantrix Compare ({kind}), 20 ms relay", "MariaDB", tables,
                                bench_runs(out), costs))

            if have_diff:
                accounts = [db.account(f"b_cli_{tables}_{i}") for i in (1, 2)]
                log("   vantrix-diff")

                def run_cli(n, accounts=accounts):
                    times = []
                    for _ in range(n):
                        elapsed, _ = timed([diff_tool, "--format", "json", "--output", os.devnull,
                                            f"mysql://{accounts[0]}:{PASSWORD}@{db.host}:{db.port}/"
                                            f"{names[0]}",
                                            f"mysql://{accounts[1]}:{PASSWORD}@{db.host}:{db.port}/"
                                            f"{names[1]}"], ok_codes=(0, 1))
                        times.append(elapsed)
                    return times

                times, costs = per_side(db, accounts, run_cli, runs)
                rows.append(Row("vantrix-diff --format json", "MariaDB", tables, times, costs))

                # The same comparison writing the SQL that makes DB 2 like
                # DB 1 instead: what planning and writing the script adds.
                def run_sql(n, accounts=accounts):
                    return [timed([diff_tool, "--format", "sql", "--output", os.devnull,
                                   f"mysql://{accounts[0]}:{PASSWORD}@{db.host}:{db.port}/"
                                   f"{names[0]}",
                                   f"mysql://{accounts[1]}:{PASSWORD}@{db.host}:{db.port}/"
                                   f"{names[1]}"], ok_codes=(0, 1))[0] for _ in range(n)]

                times, costs = per_side(db, accounts, run_sql, runs)
                rows.append(Row("vantrix-diff --format sql", "MariaDB", tables, times, costs))
                # DB 1 alone into a snapshot, before the other tools leave the
                # server busy dropping the tables they made.
                url = f"mysql://{db.user}:{db.password}@{db.host}:{db.port}/{names[0]}"
                times = [timed([diff_tool, "--dump", "-o", os.devnull, url])[0]
                         for _ in range(runs)]
                rows.append(Row("vantrix-diff --dump", "MariaDB", tables, times))
                times = [timed([diff_tool, "--format", "json", "--output", os.devnull, s1, s2],
                               ok_codes=(0, 1))[0] for _ in range(runs)]
                rows.append(Row("vantrix-diff --format json", "SQLite", tables, times))
                times = [timed([diff_tool, "--format", "sql", "--no-verify", "--output", os.devnull,
                                s1, s2], ok_codes=(0, 1))[0] for _ in range(runs)]
                rows.append(Row("vantrix-diff --format sql --no-verify", "SQLite", tables, times))

            limit = args.tool_timeout
            log("   sqldiff --schema")
            try:
                times = [timed(["sqldiff", "--schema", s1, s2], ok_codes=(0, 1), timeout=limit)[0]
                         for _ in range(other_runs)]
                rows.append(Row("sqldiff --schema (names only)", "SQLite", tables, times))
            except Stopped:
                rows.append(Row("sqldiff --schema (names only)", "SQLite", tables, [],
                                stopped_after=limit))

            log("   mariadb-dump --no-data + diff")
            accounts = [db.account(f"b_dump_{tables}_{i}") for i in (1, 2)]
            os.makedirs(os.path.join(work, "dumps"), exist_ok=True)
            dump = os.path.join(work, "dumps", "dump")

            def run_dump(n, accounts=accounts):
                times = []
                for _ in range(n):
                    command = " ; ".join(
                        f"mariadb-dump --no-defaults --no-data --skip-dump-date -h {db.host} "
                        f"-P {db.port} -u {accounts[i]} -p{PASSWORD} {names[i]} "
                        f"| sed 's/ AUTO_INCREMENT=[0-9]*//' > {dump}{i}.sql"
                        for i in (0, 1)) + f" ; diff {dump}0.sql {dump}1.sql > /dev/null"
                    times.append(timed(command, ok_codes=(0, 1), timeout=limit)[0])
                return times

            try:
                times, costs = per_side(db, accounts, run_dump, other_runs)
                rows.append(Row("mariadb-dump --no-data ×2 + diff", "MariaDB", tables, times,
                                costs))
            except Stopped:
                rows.append(Row("mariadb-dump --no-data ×2 + diff", "MariaDB", tables, [],
                                stopped_after=limit))

            if pg:
                pg_names = [f"pb{tables}_1", f"pb{tables}_2"]
                for side, name in enumerate(pg_names, 1):
                    pg.run(f"DROP DATABASE IF EXISTS {name}", "postgres")
                    pg.run(f"CREATE DATABASE {name}", "postgres")
                    sql = subprocess.run([bench, "generate-sql", str(tables), str(side),
                                          "postgresql"], check=True, capture_output=True,
                                         text=True).stdout
                    # Statement by statement: one transaction would need a lock per
                    # table and index, more than the server keeps.
                    pg.run(sql, name)
                settle()
                pg_env = dict(os.environ, PGPASSWORD=pg.password,
                              VANTRIX_DB1_PASSWORD=pg.password, VANTRIX_DB2_PASSWORD=pg.password)
                if have_diff:
                    log("   vantrix-diff, PostgreSQL")
                    for fmt in ("json", "sql"):
                        times = [timed([diff_tool, "--format", fmt, "--output", os.devnull,
                                        pg.url(pg_names[0]), pg.url(pg_names[1])],
                                       env=pg_env, ok_codes=(0, 1))[0] for _ in range(runs)]
                        rows.append(Row(f"vantrix-diff --format {fmt}", "PostgreSQL", tables,
                                        times))
                log("   pg_dump --schema-only + diff")
                command = " ; ".join(
                    f"pg_dump --schema-only -h {pg.host} -p {pg.port} -U {pg.user} "
                    f"{pg_names[i]} > {dump}pg{i}.sql" for i in (0, 1)) + \
                    f" ; diff {dump}pg0.sql {dump}pg1.sql > /dev/null"
                try:
                    times = [timed(command, env=pg_env, ok_codes=(0, 1), timeout=limit)[0]
                             for _ in range(other_runs)]
                    rows.append(Row("pg_dump --schema-only ×2 + diff", "PostgreSQL", tables,
                                    times))
                except Stopped:
                    rows.append(Row("pg_dump --schema-only ×2 + diff", "PostgreSQL", tables, [],
                                    stopped_after=limit))

            if shutil.which("skeema"):
                log("   skeema diff")
                account = db.account(f"b_skeema_{tables}")
                # A folder of its own: skeema reads every .sql file around it.
                skeema_root = os.path.join(work, "skeema")
                os.makedirs(skeema_root, exist_ok=True)
                workspace = os.path.join(skeema_root, f"skeema{tables}")
                skeema_env = dict(os.environ, MYSQL_PWD=PASSWORD)
                # skeema takes --dir relative to where it runs.
                try:
                    timed(f"cd {skeema_root} && skeema init --dir {os.path.basename(workspace)} "
                          f"-h {db.host} -P {db.port} -u {account} --schema {names[0]}",
                          env=skeema_env, timeout=limit)
                except Stopped:
                    rows.append(Row("skeema diff (files of DB 1 vs DB 2)", "MariaDB", tables, [],
                                    stopped_after=limit))
                    continue
                except RuntimeError as failure:
                    # skeema gives up on large schemas by itself (its own read
                    # timeout); that is a result too.
                    log(f"   skeema init failed: {str(failure)[-300:]}")
                    rows.append(Row("skeema diff (files of DB 1 vs DB 2)", "MariaDB", tables, [],
                                    failed="skeema init failed"))
                    continue
                # The files hold DB 1; the live schema is DB 2.
                for dirpath, _, files in os.walk(workspace):
                    if ".skeema" in files:
                        path = os.path.join(dirpath, ".skeema")
                        with open(path) as f:
                            text = f.read().replace(f"schema={names[0]}", f"schema={names[1]}")
                        with open(path, "w") as f:
                            f.write(text)

                def run_skeema(n):
                    return [timed(f"cd {workspace} && skeema diff --allow-unsafe",
                                  env=skeema_env, ok_codes=(0, 1), timeout=limit)[0]
                            for _ in range(n)]

                try:
                    times, costs = per_side(db, [account], run_skeema, other_runs)
                    rows.append(Row("skeema diff (files of DB 1 vs DB 2)", "MariaDB", tables,
                                    times, [None, costs[0]]))
                except Stopped:
                    rows.append(Row("skeema diff (files of DB 1 vs DB 2)", "MariaDB", tables, [],
                                    stopped_after=limit))
        if have_diff and args.fleet:
            fleet_rows(args, bench, diff_tool, db, work, rows, notes)
    finally:
        if relay:
            relay.terminate()
        shutil.rmtree(work, ignore_errors=True)

    # The table.
    reference = {}
    for row in rows:
        if row.tool == "Vantrix Compare (window)":
            reference[(row.engine, row.tables)] = row.median
    print()
    print("| tool | engine | tables | median s | × Vantrix window | statements per side | "
          "connections per side |")
    print("|---|---|---|---|---|---|---|")
    for row in sorted(rows, key=lambda r: (r.tables, r.engine)):
        if row.failed:
            print(f"| {row.tool} | {row.engine} | {row.tables:,} | {row.failed} | – | – | – |")
            continue
        if row.stopped_after:
            print(f"| {row.tool} | {row.engine} | {row.tables:,} | stopped after "
                  f"{row.stopped_after} s | > {row.stopped_after / reference.get((row.engine, row.tables), 1):.0f} | – | – |")
            continue
        ref = reference.get((row.engine, row.tables))
        ratio = f"{row.median / ref:.1f}" if ref and row.median else "–"
        runs = f" ({len(row.times)} run{'s' if len(row.times) != 1 else ''})"
        print(f"| {row.tool} | {row.engine} | {row.tables:,} | {row.median:.3f}{runs} | {ratio} | "
              f"{fmt_cost(row.costs, 1)} | {fmt_cost(row.costs, 0)} |")
    print()
    for note in notes:
        print(note)
    for (engine, tables), kb in sorted(peak_rss.items(), key=lambda i: (i[0][1], i[0][0])):
        print(f"Peak resident memory of the window after the {tables:,}-table {engine} Compare: "
              f"{kb / 1024:.0f} MB")


if __name__ == "__main__":
    main()
