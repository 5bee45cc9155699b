#!/bin/sh
# A real print through CUPS: starts a private cupsd whose default queue writes
# to a file, lets the print command of the program submit the record sheet,
# then checks the job's title and the text of the spooled PDF.
#
# Usage: run_cups_print.sh TEST_PRINT_EXECUTABLE
# Exit status 77 (skipped) only where no CUPS daemon can be started.
set -u

SKIP=77
QUEUE=zelkano
TITLE='Zelkano中草药'
PATH="$PATH:/usr/sbin:/sbin"

program=${1:?usage: run_cups_print.sh TEST_PRINT_EXECUTABLE}

skip() { echo "SKIP: $*"; exit "$SKIP"; }
fail() { echo "FAIL: $*"; [ -n "${dir:-}" ] && [ -f "$dir/log/error_log" ] && tail -n 40 "$dir/log/error_log"; exit 1; }

for tool in cupsd lpadmin lpstat pdftotext; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (packages cups, cups-client, cups-bsd, poppler-utils)"
done

dir=$(mktemp -d /tmp/zelkano-cups.XXXXXX) || fail "no temporary folder"
pid=
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        # Bounded: a daemon that ignores TERM gets KILL after 5 seconds.
        n=0
        while kill -0 "$pid" 2>/dev/null && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

chmod 755 "$dir"
mkdir -p "$dir/root" "$dir/state" "$dir/cache" "$dir/spool" "$dir/tmp" "$dir/log" "$dir/out" "$dir/home"
# Filters run as the daemon's own user.
chmod 1777 "$dir/tmp" "$dir/out"

if [ "$(id -u)" -eq 0 ]; then
    runas="User lp
Group lp
SystemGroup root"
else
    runas="SystemGroup $(id -gn)"
fi

cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir/root
StateDir $dir/state
CacheDir $dir/cache
RequestRoot $dir/spool
TempDir $dir/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
FileDevice Yes
ServerBin /usr/lib/cups
DataDir /usr/share/cups
$runas
EOF

cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
PageLogFormat %p %j %{job-name}
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF

# A queue that hands the PDF through unchanged.
cat >"$dir/pdf.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "ZELKANO.PPD"
*Manufacturer: "Zelkano"
*Product: "(Zelkano test PDF file)"
*ModelName: "Zelkano test PDF file"
*ShortNickName: "Zelkano test PDF file"
*NickName: "Zelkano test PDF file"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/vnd.cups-pdf 0 -"
*DefaultResolution: 600dpi
*OpenUI *PageSize/Page Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Page Region: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 36 577 806"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
EOF

export CUPS_SERVER="$dir/cups.sock"
unset PRINTER LPDEST

cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
pid=$!
n=0
until [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ]; do
    if ! kill -0 "$pid" 2>/dev/null || [ $n -ge 150 ]; then
        cat "$dir/log/cupsd.out"
        [ -f "$dir/log/error_log" ] && tail -n 20 "$dir/log/error_log"
        skip "no CUPS daemon could be started here"
    fi
    sleep 0.1
    n=$((n + 1))
done

lpadmin -p "$QUEUE" -E -v "file://$dir/out/job.pdf" -P "$dir/pdf.ppd" >"$dir/log/lpadmin.out" 2>&1 ||
    { cat "$dir/log/lpadmin.out"; fail "could not create the queue $QUEUE"; }
lpadmin -d "$QUEUE" || fail "could not make $QUEUE the default queue"
lpstat -d | grep -q "$QUEUE" || fail "$QUEUE is not the default queue"

# The program, with its own home so no personal lpoptions choose another printer.
output=$(HOME="$dir/home" ZELKANO_SPOOLER_QUEUE="$QUEUE" QT_QPA_PLATFORM=offscreen \
         timeout 120 "$program" testPrintsThroughSpooler 2>&1)
status=$?
echo "$output"
[ $status -eq 0 ] || fail "the print test ended with status $status"
echo "$output" | grep -q "^PASS   : TestPrint::testPrintsThroughSpooler()" || fail "the print test did not run"

# Wait, bounded, until the job has left the queue.
n=0
while :; do
    job=$(lpstat -W completed -o "$QUEUE" 2>/dev/null | awk 'NR == 1 { print $1 }')
    pending=$(lpstat -W not-completed -o "$QUEUE" 2>/dev/null)
    [ -n "$job" ] && [ -z "$pending" ] && break
    [ $n -ge 600 ] && fail "the job did not complete within 60 seconds"
    sleep 0.1
    n=$((n + 1))
done
[ "$(lpstat -W completed -o "$QUEUE" | wc -l)" -eq 1 ] || fail "expected exactly one job"
id=${job##*-}
grep -q "\[Job $id\] Job completed" "$dir/log/error_log" || fail "job $job did not complete"
echo "job $job completed"

# The job's title, as the scheduler logged it for the job.
titles=$(sed -n "s/^$QUEUE $id //p" "$dir/log/page_log" | sort -u)
[ "$titles" = "$TITLE" ] || fail "job title is '$titles', expected '$TITLE'"
echo "job title: $titles"

[ -s "$dir/out/job.pdf" ] || fail "nothing was written to the queue's file"
text=$(pdftotext -enc UTF-8 "$dir/out/job.pdf" - 2>&1) || fail "pdftotext could not read the spooled file: $text"
for expected in '【药物名称】' '【功能主治】' 'Radix Glycyrrhizae' '补虚药'; do
    echo "$text" | grep -qF "$expected" || { echo "$text"; fail "the spooled document lacks '$expected'"; }
done
echo "the spooled document holds the record sheet"
exit 0
