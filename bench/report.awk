# report.awk - the finished pages of report.rpt from the '|'-separated rows of
# `sqlite3 -list` (empno|ename|job|deptno|sal|hiredate), byte for byte as
# Kelvordantix and `floor report` make them.
BEGIN {
    FS = "|"; ROWS = 62; WIDTH = 68; TITLE = "EMPLOYEE LISTING"; rows = 0
    left = int((WIDTH - length(TITLE)) / 2)
    TITLELINE = sprintf("%" left "s%s%" (WIDTH - left - length(TITLE)) "s", "", TITLE, "")
    PAGEFORMAT = "%" WIDTH "d\n\n%s\n\n"
}

function picture(x,    sign, c, s, out) {
    sign = x < 0 ? "-" : ""; if (x < 0) x = -x
    c = int(x * 100 + 0.5); s = sprintf("%d", int(c / 100)); out = ""
    while (length(s) > 3) { out = "," substr(s, length(s) - 2) out; s = substr(s, 1, length(s) - 3) }
    return sign s out sprintf(".%02d", c % 100)
}

{
    if (rows % ROWS == 0) printf PAGEFORMAT, rows / ROWS + 1, TITLELINE
    hired = substr($6, 9, 2) "/" substr($6, 6, 2) "/" substr($6, 1, 4)
    printf "%-8d %-20s %-10s %-4d %-10s %s\n", $1, $2, $3, $4, picture($5), hired
    rows++
}
