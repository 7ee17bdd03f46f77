/* floor.c - the floor the report is measured against: rows read through the
 * SQLite C API and written with printf, by a program that knows its one query.
 *
 *   floor print  DBFILE   one fixed-width line a row
 *   floor report DBFILE   the finished pages of report.rpt, byte for byte:
 *                         66-line pages of a page number, a centred title and
 *                         62 rows; salaries by the picture 99,999.99, dates as
 *                         dd/mm/yyyy; the last page ends after its last row
 *
 * The text goes to standard output. */
#include <sqlite3.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { PAGE_ROWS = 62, PAGE_WIDTH = 68 };
static const char *const QUERY = "SELECT EMPNO, ENAME, JOB, DEPTNO, SAL, HIREDATE FROM EMP";
static const char *const TITLE = "EMPLOYEE LISTING";

static const char *text(sqlite3_stmt *st, int column)
{
    const unsigned char *p = sqlite3_column_text(st, column);
    return p ? (const char *)p : "";
}

/* 99,999.99: cents rounded half away from zero, a comma every three digits */
static void picture(double value, char *out)
{
    long long cents = llround(value * 100.0);
    if (cents < 0) { *out++ = '-'; cents = -cents; }
    char digits[32];
    int n = snprintf(digits, sizeof digits, "%lld", cents / 100);
    for (int i = 0; i < n; i++) {
        *out++ = digits[i];
        if ((n - 1 - i) % 3 == 0 && i < n - 1) *out++ = ',';
    }
    sprintf(out, ".%02lld", cents % 100);
}

/* ISO yyyy-mm-dd as dd/mm/yyyy */
static void date(const char *iso, char *out)
{
    if (strlen(iso) < 10) { strcpy(out, iso); return; }
    sprintf(out, "%.2s/%.2s/%.4s", iso + 8, iso + 5, iso);
}

static void header(int page)
{
    int left = (PAGE_WIDTH - (int)strlen(TITLE)) / 2;
    int right = PAGE_WIDTH - left - (int)strlen(TITLE);
    printf("%*d\n\n%*s%s%*s\n\n", PAGE_WIDTH, page, left, "", TITLE, right, "");
}

int main(int argc, char **argv)
{
    if (argc != 3 || (strcmp(argv[1], "print") && strcmp(argv[1], "report"))) {
        fprintf(stderr, "usage: floor print|report DBFILE\n");
        return 2;
    }
    int report = strcmp(argv[1], "report") == 0;
    sqlite3 *db;
    sqlite3_stmt *st;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK ||
        sqlite3_prepare_v2(db, QUERY, -1, &st, NULL) != SQLITE_OK) {
        fprintf(stderr, "floor: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    static char buffer[1 << 16];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    long long rows = 0;
    int rc;
    char sal[32], hired[32];
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        long long empno = sqlite3_column_int64(st, 0), deptno = sqlite3_column_int64(st, 3);
        const char *ename = text(st, 1), *job = text(st, 2);
        double salary = sqlite3_column_double(st, 4);
        if (!report) {
            printf("%8lld %-20s %-10s %4lld %12.2f %s\n", empno, ename, job, deptno, salary, text(st, 5));
        } else {
            if (rows % PAGE_ROWS == 0) header((int)(rows / PAGE_ROWS) + 1);
            picture(salary, sal);
            date(text(st, 5), hired);
            printf("%-8lld %-20s %-10s %-4lld %-10s %s\n", empno, ename, job, deptno, sal, hired);
        }
        rows++;
    }
    if (rc != SQLITE_DONE) { fprintf(stderr, "floor: %s\n", sqlite3_errmsg(db)); return 1; }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return fflush(stdout) == 0 ? 0 : 1;
}
