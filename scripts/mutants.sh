#!/usr/bin/env bash
# Puts plausible programmer's mistakes into the print path one at a time (a wrong condition, a
# dropped call, a swapped order) and runs the tests that should notice each one. A fault no test
# notices marks a place where a label could be lost, printed twice or put out of order unnoticed.
# Not run by CI: every fault is one incremental rebuild and a few test runs.
#
#   scripts/mutants.sh                 every fault
#   scripts/mutants.sh 'prune|retry'   the faults whose name matches the extended regex
#   scripts/mutants.sh -l              list the faults
#   scripts/mutants.sh -c              check that every fault's snippet is in its file once
#
# BUILD_DIR (default build) must be configured already (docs/HACKING.md); TEST_TIMEOUT (seconds,
# default 600) ends a test run that hangs, which counts as caught. The source is restored after
# every fault, also on Ctrl-C; the table also goes to $BUILD_DIR/mutants.txt.

set -u
cd "$(dirname "$0")/.."
BUILD=${BUILD_DIR:-build}
TIMEOUT=${TEST_TIMEOUT:-600}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
export CCACHE_DIR=${CCACHE_DIR:-/work/.ccache}
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software

# One fault a line: name @@ file @@ original @@ replacement @@ tests
# The original must occur exactly once in the file; "<NL>" in it or in the replacement is a line
# break. Tests are test binaries, each optionally with the test functions to run
# ("tst_printspool:startAfterACrash,stagingAndRecovery"), tried in order until one fails.
# Left out because no behaviour tells them from the sound code: a handed-over entry kept from being
# claimed again (the driver records such entries before it claims any, and claims nothing while they
# cannot be recorded), and claiming labels of a printer that waits (each batch asks the printer
# first, so they wait again and only the printer is asked more often).
read -r -d '' FAULTS <<'EOF'
# --- the spool (printspool.cpp) ---
staged-report-not-written @@ src/printing/printspool.cpp @@ file.write(entry->report) == entry->report.size()) @@ true) @@ tst_printspool:stagingAndRecovery
torn-check-header-only @@ src/printing/printspool.cpp @@ if (bytes < 0 || file.size() != line.size() + bytes) { @@ if (bytes < 0) { @@ tst_printspool:startAfterACrash
handed-over-not-known @@ src/printing/printspool.cpp @@ if (m_pending.contains(record.archiveId)) @@ if (!m_pending.contains(record.archiveId)) @@ tst_printspool:startAfterACrash
retry-crash-keeps-failed @@ src/printing/printspool.cpp @@ if (m_failed.remove(id))<NL>            DurableFile::remove @@ if (false && m_failed.remove(id))<NL>            DurableFile::remove @@ tst_printspool:startAfterACrash
retry-keeps-failed-copy @@ src/printing/printspool.cpp @@ DurableFile::remove(failedFile); @@ ; @@ tst_printspool:failuresOfOneCauseShareANoteAndRetryAllPrintsThemOnce
failed-keeps-waiting-copy @@ src/printing/printspool.cpp @@ DurableFile::remove(path(id));<NL>    entry.report.clear(); @@ entry.report.clear(); @@ tst_printspool:failuresOfOneCauseShareANoteAndRetryAllPrintsThemOnce
prune-files-inverted @@ src/printing/printspool.cpp @@ if (info.lastModified() < limit && QFile::remove @@ if (info.lastModified() >= limit && QFile::remove @@ tst_printspool:archiveKeepsRecentReportsForReprint
prune-index-inverted @@ src/printing/printspool.cpp @@ if (record.printedAt >= limit && QFile::exists @@ if (record.printedAt < limit && QFile::exists @@ tst_printspool:archiveKeepsRecentReportsForReprint
ids-collide @@ src/printing/printspool.cpp @@ m_lastSerial = std::max(m_lastSerial + 1, now); @@ m_lastSerial = now; @@ tst_printspool:entriesOfOneMillisecondStayApart
commit-not-pending @@ src/printing/printspool.cpp @@ m_pending.insert(id, entry);<NL>        any = true; @@ any = true; @@ tst_printspool:stagingAndRecovery
recover-range-inverted @@ src/printing/printspool.cpp @@ if (rangePassed(entry)) { @@ if (!rangePassed(entry)) { @@ tst_printspool:stagingAndRecovery
# --- the print driver (printhandler.cpp) ---
applied-as-completed @@ src/printing/printhandler.cpp @@ inOrder = false; @@ inOrder = true; @@ tst_printspool:spoolOrderIsLogOrder
record-not-indexed @@ src/printing/printhandler.cpp @@ if (!recording.indexed)<NL>            fresh << recording.record; @@ if (false)<NL>            fresh << recording.record; @@ tst_printspool:spoolOrderIsLogOrder tst_endtoend:crashAfterTheLogLineRepeatsNothing
unavailable-not-released @@ src/printing/printhandler.cpp @@ m_spool->release(entry.id);<NL>        printerUnavailable @@ printerUnavailable @@ tst_printspool:waitingLabelsPrintOnceInOrder
storage-problem-ignored @@ src/printing/printhandler.cpp @@ if (m_paused || m_stopping || !m_storageProblem.isEmpty()) @@ if (m_paused || m_stopping) @@ tst_printspool:fullDiskKeepsLabelsWaiting
job-printer-ignored @@ src/printing/printhandler.cpp @@ *printer = job == jobs.constEnd() ? entry.printer : job->printer; @@ *printer = entry.printer; @@ tst_edges:labelsThatCannotBePrinted
staged-not-handed-back @@ src/printing/printhandler.cpp @@ *staged += ids; @@ ; @@ tst_edges:unusableRepliesAndReports
job-not-followed @@ src/printing/printhandler.cpp @@ m_monitor->follow(job.printerKey, job.printJobId, entry.id); @@ ; @@ tst_cupsfaults:abortedJobBringsItsLabelBack
recovered-line-twice @@ src/printing/reportlistmodel.cpp @@ if (tail.startsWith(bytes) || tail.contains('\n' + bytes)) @@ if (false) @@ tst_printspool:startAfterACrash
# --- a label's way to the printer (labeljob.cpp, printworker.cpp) ---
resumed-check-inverted @@ src/printing/labeljob.cpp @@ if (!done.isEmpty()) { @@ if (done.isEmpty()) { @@ tst_printspool:startAfterACrash
resumed-check-dropped @@ src/printing/labeljob.cpp @@ if (!labelBaseName.isEmpty()) { @@ if (false) { @@ tst_printspool:startAfterACrash
refusal-does-not-block @@ src/printing/labeljob.cpp @@ if (ordered && gate)<NL>            gate->block(printerKey); @@ if (false)<NL>            gate->block(printerKey); @@ tst_zplprinter:brokenConnectionLosesNothing
waiting-does-not-block @@ src/printing/labeljob.cpp @@ if (gate && m_holdsLine) @@ if (false) @@ tst_zplprinter:unopenedLabelHoldsItsLine
blocked-line-overtaken @@ src/printing/labeljob.cpp @@ if (gate->isBlocked(printerKey)) { @@ if (false) { @@ tst_zplprinter:brokenConnectionLosesNothing
turn-not-waited @@ src/printing/labeljob.cpp @@ while (m_lines[printer].next != ticket) @@ while (false) @@ tst_printspool:handOffKeepsSpoolOrder
pause-not-held @@ src/printing/labeljob.cpp @@ if (m_held.contains(QString()) || (!group.isEmpty() && m_held.contains(group))) @@ if (!group.isEmpty() && m_held.contains(group)) @@ tst_printspool:pauseAndDiscardLetNoClaimedLabelLeave
unreadable-report-prints @@ src/printing/labeljob.cpp @@ if (!m_document->parse(report, &parseError)) { @@ if (!m_document->parse(report, &parseError) && false) { @@ tst_edges:unusableRepliesAndReports
gap-not-flagged @@ src/printing/printworker.cpp @@ problems->append(describeObject(record));<NL>            continue; @@ continue; @@ tst_printspool:labelWithAGapIsFlagged
# --- outputs (pdffileoutput.cpp, cupsoutput.cpp, zploutput.cpp) ---
part-check-dropped @@ src/printing/pdffileoutput.cpp @@ if (!unsynced.contains(handOff->pending) && @@ if ( @@ tst_printspool:unsyncedLabelFileWaits
stable-name-made-unique @@ src/printing/pdffileoutput.cpp @@ if (!stableName) { @@ if (true) { @@ tst_printspool:startAfterACrash
zpl-paper-out-after-label-ignored @@ src/printing/zploutput.cpp @@ if (!after.ready) { @@ if (false) { @@ tst_zplprinter:stoppedPrinterKeepsLabelsWaiting
zpl-paper-out-unread @@ src/printing/zploutput.cpp @@ if (flag(0, 1)) @@ if (false) @@ tst_zplprinter:stoppedPrinterKeepsLabelsWaiting
zpl-silence-after-label-taken @@ src/printing/zploutput.cpp @@ result.error = QStringLiteral("the printer did not answer after the label");<NL>        return result; @@ result.taken = true;<NL>        return result; @@ tst_zplprinter:stoppedPrinterKeepsLabelsWaiting
zpl-silence-after-label-unexplained @@ src/printing/zploutput.cpp @@ result.error = QStringLiteral("the printer did not answer after the label");<NL>        return result; @@ result.error = QStringLiteral("the printer did not answer after the label"); @@ tst_zplprinter:stoppedPrinterKeepsLabelsWaiting
cups-stopped-queue-ready @@ src/printing/cupsoutput.cpp @@ status.ready = reasons.isEmpty(); @@ status.ready = true; @@ tst_cupsprinter:refusedLabelsWait
cups-aborted-counts-printed @@ src/printing/cupsoutput.cpp @@ case IPP_JSTATE_ABORTED:<NL>        fate.state = JobFate::Failed; @@ case IPP_JSTATE_ABORTED:<NL>        fate.state = JobFate::Finished; @@ tst_cupsfaults:abortedJobBringsItsLabelBack
# --- reading reports (reporttree.cpp) ---
named-step-leaves-context @@ src/report/reporttree.cpp @@ if (i < coveredTo && matches(i, step)) @@ if (matches(i, step)) @@ tst_reportdocument:query
named-step-own-context @@ src/report/reporttree.cpp @@ context.at(next) < i; ++next) @@ context.at(next) <= i; ++next) @@ tst_reportdocument:query
# --- the poller, the watermark, the settings (xmlpoller.cpp, watermark.cpp, settingsmanager.cpp) ---
page-edge-off-by-one @@ src/mc/xmlpoller.cpp @@ if (id <= from || id > newest) @@ if (id < from || id > newest) @@ tst_poller:pageRanges
unspooled-page-passed @@ src/mc/xmlpoller.cpp @@ if (!exported || !kept) { @@ if (!exported) { @@ tst_poller:pagesBeforeAFailureStayStored
restart-after-failed-page @@ src/mc/xmlpoller.cpp @@ << current.first + 1 << "-" << newest << "will be fetched again";<NL>                    break; @@ << current.first + 1 << "-" << newest << "will be fetched again";<NL>                    reachedBy.insert(job, current.second);<NL>                    break; @@ tst_poller:failedExportIsFetchedAgain,pagesBeforeAFailureStayStored
page-ahead-after-failed-page @@ src/mc/xmlpoller.cpp @@ << current.first + 1 << "-" << newest << "will be fetched again";<NL>                    break; @@ << current.first + 1 << "-" << newest << "will be fetched again";<NL>                    continue; @@ tst_poller:pagesBeforeAFailureStayStored
restart-point-kept @@ src/mc/xmlpoller.cpp @@ points.insert(it.key(), it.value() < to ? it.value() : -1); @@ points.insert(it.key(), it.value()); @@ tst_poller:failedExportIsFetchedAgain
start-point-dropped @@ src/settings/watermark.cpp @@ if (after >= 0 && after < lastId()) @@ if (false) @@ tst_poller:jobStartsWhereTheUserChose
start-point-not-stored @@ src/settings/joblistmodel.cpp @@ if (active && !Watermark(m_settings).setStartPoint(id, startAfter)) @@ if (false) @@ tst_poller:jobStartsWhereTheUserChose
unstored-poll-committed @@ src/mc/xmlpoller.cpp @@ if (!watermark.advance(storedId, to, document, points)) { @@ if (!watermark.advance(storedId, to, document, points) && false) { @@ tst_endtoend:settingsReadOnlyForAPoll
restart-point-ignored @@ src/settings/watermark.cpp @@ return restart >= 0 ? std::min(from, restart) : from; @@ return from; @@ tst_poller:failedExportIsFetchedAgain
restart-point-inverted @@ src/settings/watermark.cpp @@ if (it.value() < 0) @@ if (it.value() >= 0) @@ tst_poller:failedExportIsFetchedAgain
moved-watermark-overwritten @@ src/settings/watermark.cpp @@ if (lastId() != from) { @@ if (false) { @@ tst_settings:failedWritesAndTheWatermark
failed-write-not-undone @@ src/settings/settingsmanager.cpp @@ setAllValues(*m_globalSettings, before); @@ ; @@ tst_settings:failedWritesAndTheWatermark
failed-sync-reported-stored @@ src/settings/settingsmanager.cpp @@ const bool written = change() && sync(true); @@ const bool written = change(); @@ tst_settings:failedWritesAndTheWatermark
reads-wait-for-writes @@ src/settings/settingsmanager.cpp @@ return allValues(global ? *m_globalSettings : *m_userSettings);<NL>    QMutexLocker lock(&m_publishedLock); @@ return allValues(global ? *m_globalSettings : *m_userSettings);<NL>    QMutexLocker held(&m_lock);<NL>    QMutexLocker lock(&m_publishedLock); @@ tst_settings:readWhileAnotherThreadWrites
unwritten-change-shown @@ src/settings/settingsmanager.cpp @@ m_unsaved[global] = true;<NL>    if (m_changingThread.load() != QThread::currentThread()) @@ m_unsaved[global] = true;<NL>    if (true) @@ tst_settings:readWhileAnotherThreadWrites
writer-reads-old-values @@ src/settings/settingsmanager.cpp @@ if (m_changingThread.load() == QThread::currentThread())<NL>        return allValues @@ if (false)<NL>        return allValues @@ tst_settings:readWhileAnotherThreadWrites,failedWritesAndTheWatermark
deferred-write-waits @@ src/settings/settingsmanager.cpp @@ if (!m_manager->m_lock.tryLock()) { @@ if (!m_manager->m_lock.tryLock(60000)) { @@ tst_settings:deferredWriteWhileTheStoreIsBusy
deferred-write-dropped-when-busy @@ src/settings/settingsmanager.cpp @@ QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest)); @@ ; @@ tst_settings:deferredWriteWhileTheStoreIsBusy
EOF

list_faults() { grep -v '^#' <<<"$FAULTS" | grep -v '^[[:space:]]*$'; }

if [[ ${1:-} == -l ]]; then
    list_faults | awk -F' @@ ' '{ printf "%-34s %-36s %s\n", $1, $2, $5 }'
    exit 0
fi
SELECT=${1:-.}

# Replaces the one occurrence of $2 in file $1 by $3 ("<NL>" a line break); exit 3 when it is not
# there exactly once.
apply_fault() {
    python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("<NL>", "\n"), sys.argv[3].replace("<NL>", "\n")
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    print(f"found {text.count(old)} times", file=sys.stderr)
    sys.exit(3)
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

if [[ ${1:-} == -c ]]; then
    bad=0
    while IFS=$'\t' read -r -u 3 name file original replacement tests; do
        count=$(python3 -c 'import sys; print(open(sys.argv[1]).read().count(sys.argv[2].replace("<NL>", "\n")))' \
            "$file" "$original")
        [[ $count == 1 ]] || { echo "$name: found $count times in $file"; bad=1; }
    done 3< <(list_faults | awk -F' @@ ' 'NF == 5 { print $1 "\t" $2 "\t" $3 "\t" $4 "\t" $5 }')
    exit $bad
fi

SAVED=$(mktemp -d)
CURRENT=""
restore() {
    if [[ -n $CURRENT ]]; then
        cp "$SAVED/original" "$CURRENT" # a new time stamp: the next build compiles it again
        CURRENT=""
    fi
}
trap 'restore; rm -rf "$SAVED"' EXIT
trap 'echo "interrupted: source restored" >&2; exit 130' INT TERM

if [[ -n $(git status --porcelain -- src) ]]; then
    echo "src/ has uncommitted changes; commit or stash them first (each fault is undone from a copy," >&2
    echo "but a clean tree makes a left-over fault easy to see with git diff)" >&2
    exit 2
fi

LOGS="$BUILD/mutants-logs"
mkdir -p "$LOGS"
REPORT="$BUILD/mutants.txt"
ROWS=()
TARGETS_BUILT=()
uncaught=0

while IFS=$'\t' read -r -u 3 name file original replacement tests; do
    [[ $name =~ $SELECT ]] || continue
    log="$LOGS/$name.log"
    : >"$log"
    binaries=()
    for entry in $tests; do binaries+=("${entry%%:*}"); done
    echo "== $name ($file)" >&2
    cp "$file" "$SAVED/original"
    CURRENT=$file
    if ! apply_fault "$file" "$original" "$replacement" 2>>"$log"; then
        restore
        ROWS+=("$name|$file|SNIPPET NOT FOUND ONCE|")
        uncaught=$((uncaught + 1))
        continue
    fi
    # Only the touched file compiles again (ccache, ninja); the binaries the fault's tests need relink.
    if ! cmake --build "$BUILD" -j2 --target "${binaries[@]}" </dev/null >>"$log" 2>&1; then
        restore
        ROWS+=("$name|$file|did not compile|")
        uncaught=$((uncaught + 1))
        continue
    fi
    # The binaries hold the fault now; the source is whole again while the tests run.
    restore
    TARGETS_BUILT+=("${binaries[@]}")
    result="NOT CAUGHT"
    by=""
    for entry in $tests; do
        binary=${entry%%:*}
        functions=()
        [[ $entry == *:* ]] && IFS=',' read -r -a functions <<<"${entry#*:}"
        runtime=$(mktemp -d)
        echo "-- $entry" >>"$log"
        XDG_RUNTIME_DIR=$runtime timeout -k 10 "$TIMEOUT" "$BUILD/tests/$binary" "${functions[@]}" </dev/null >"$log.run" 2>&1
        status=$?
        cat "$log.run" >>"$log"
        rm -rf "$runtime"
        if grep -q '^Unknown test function' "$log.run"; then
            result="TEST MISSING"
            by=$entry
            break
        fi
        if [[ $status -ne 0 ]]; then
            failed=$(grep -o 'FAIL!  : [A-Za-z0-9_]*::[A-Za-z0-9_]*' "$log.run" | head -1 | sed 's/.*:://')
            [[ $status -ge 124 && -z $failed ]] && failed="(hung or crashed, exit $status)"
            result="caught"
            by="$binary:${failed:-exit $status}"
            break
        fi
    done
    rm -f "$log.run"
    [[ $result == caught ]] || uncaught=$((uncaught + 1))
    ROWS+=("$name|$file|$result|$by")
done 3< <(list_faults | awk -F' @@ ' 'NF == 5 { print $1 "\t" $2 "\t" $3 "\t" $4 "\t" $5 }')

# The build folder matches the source again.
if [[ ${#TARGETS_BUILT[@]} -gt 0 ]]; then
    mapfile -t unique < <(printf '%s\n' "${TARGETS_BUILT[@]}" | sort -u)
    cmake --build "$BUILD" -j2 --target "${unique[@]}" >/dev/null 2>&1 || echo "rebuilding after the faults failed" >&2
fi

{
    printf '%-34s %-36s %-22s %s\n' FAULT FILE RESULT "CAUGHT BY"
    for row in "${ROWS[@]}"; do
        IFS='|' read -r name file result by <<<"$row"
        printf '%-34s %-36s %-22s %s\n' "$name" "$file" "$result" "$by"
    done
    echo "${#ROWS[@]} faults, $uncaught not caught"
} | tee "$REPORT"
[[ $uncaught -eq 0 ]]
