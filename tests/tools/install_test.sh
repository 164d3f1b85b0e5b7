#!/bin/sh
# cmake --install into a temporary root: every file in its place, the links in bin
# resolving, the installed terminal search running on the installed sample, and the menu
# entry, the AppStream metadata and the manual pages as the desktop's own tools read them
# (each check skipped when its tool is not installed).
set -eu
build=$1
source=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

for file in \
    bin/morvessa bin/morvessa-query bin/morvessa-add-collection \
    lib/morvessa/morvessa lib/morvessa/morvessa-query lib/morvessa/morvessa-add-collection \
    lib/morvessa/morvessa-sample lib/morvessa/morvessa-read \
    share/morvessa/sample/jst.mdb share/morvessa/sample/Help.htm share/morvessa/sample/demo.htm \
    share/morvessa/sample/fang/guizhi.htm \
    share/applications/org.morvessa.Morvessa.desktop share/metainfo/org.morvessa.Morvessa.metainfo.xml \
    share/man/man1/morvessa.1.gz share/man/man1/morvessa-query.1.gz share/man/man1/morvessa-add-collection.1.gz \
    share/bash-completion/completions/morvessa-query share/zsh/vendor-completions/_morvessa-query \
    share/doc/morvessa/copyright; do
    [ -e "$root/usr/$file" ] || fail "$file is not installed"
done
for command in morvessa morvessa-query morvessa-add-collection; do
    [ -L "$root/usr/bin/$command" ] || fail "bin/$command is not a link"
    [ "$(readlink "$root/usr/bin/$command")" = "../lib/morvessa/$command" ] || fail "bin/$command points elsewhere"
done
if [ -e "$source/src/ui/pictures/morvessa.svg" ]; then
    [ -e "$root/usr/share/icons/hicolor/scalable/apps/morvessa.svg" ] || fail "the scalable icon is not installed"
fi
for icon in "$source"/data/icons/hicolor/*/apps/morvessa.png; do
    [ -e "$icon" ] || continue
    size=$(basename "$(dirname "$(dirname "$icon")")")
    [ -e "$root/usr/share/icons/hicolor/$size/apps/morvessa.png" ] || fail "icon $size is not installed"
done

desktop=$root/usr/share/applications/org.morvessa.Morvessa.desktop
grep -qx 'Exec=/usr/lib/morvessa/morvessa-sample' "$desktop" || fail "the menu entry does not start the sample launcher"
grep -qx 'Actions=variants;' "$desktop" || fail "the menu entry offers no variant search"
[ "$(sed -n '/^\[Desktop Action variants\]$/,/^\[/p' "$desktop" | grep '^Exec=')" = \
    'Exec=/usr/lib/morvessa/morvessa-sample --variants' ] || fail "the variant action does not start the launcher so"
grep -q 'Copyright: .* The Morvessa developers' "$root/usr/share/doc/morvessa/copyright" || fail "no copyright"
grep -q '<project_license>MIT</project_license>' "$root/usr/share/metainfo/org.morvessa.Morvessa.metainfo.xml" ||
    fail "the metadata names no licence"

# Help fits an 80-column terminal, where a CJK character takes two columns.
for command in morvessa morvessa-query morvessa-add-collection; do
    width=$("$root/usr/bin/$command" --help | LC_ALL=C.UTF-8 wc -L)
    [ "$width" -le 80 ] || fail "$command --help is $width columns wide"
done

# The completions offer every option the help lists; bash's completes an option's values.
bash_completion=$root/usr/share/bash-completion/completions/morvessa-query
zsh_completion=$root/usr/share/zsh/vendor-completions/_morvessa-query
for option in $("$root/usr/bin/morvessa-query" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" "$bash_completion" || fail "the bash completion lacks $option"
    grep -q -- "$option" "$zsh_completion" || fail "the zsh completion lacks $option"
done
if command -v bash >/dev/null; then
    completed() { # the words bash offers for the command line "$@" (the last word being typed)
        bash -c '_init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]};
                   words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; }
                 _filedir() { COMPREPLY=(DIR); }
                 . "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _morvessa_query; echo "${COMPREPLY[*]}"' \
            "$bash_completion" morvessa-query "$@"
    }
    [ "$(completed --color '')" = "auto always never" ] || fail "bash does not complete --color's values"
    [ "$(completed --format=t)" = "text tsv" ] || fail "bash does not complete --format=t"
    [ "$(completed --max-c)" = "--max-count" ] || fail "bash does not complete --max-c"
    [ "$(completed --folder '')" = "DIR" ] || fail "bash does not complete --folder with folders"
    [ -z "$(completed -- --c)" ] || fail "bash completes options after --"
fi
if command -v zsh >/dev/null; then
    zsh -n "$zsh_completion" || fail "the zsh completion does not parse"
fi

found=$("$root/usr/bin/morvessa-query" --folder "$root/usr/share/morvessa/sample" 咳嗽) ||
    fail "the installed morvessa-query does not search the installed sample"
[ -n "$found" ] || fail "the installed sample gave no rows"

# The menu's sample: the launcher builds the user's folder from links to the installed
# sample (the program it then starts is given no display here, so it stops at once), and
# a record's marked page read through those links is the one a plain copy gives.
page1() { "$root/usr/bin/morvessa-query" --folder "$1" --page 1 發熱 | tail -n 1 | awk -F '\t' '{print $NF}'; }
plain=$root/plain
cp -R "$root/usr/share/morvessa/sample" "$plain"
expected=$(page1 "$plain") || fail "no page from a plain copy of the sample"
[ -s "$expected" ] || fail "the plain copy's page is empty"
data=$root/data
(ulimit -c 0; XDG_DATA_HOME=$data QT_QPA_PLATFORM=none "$root/usr/lib/morvessa/morvessa-sample" >/dev/null 2>&1) || true
[ -e "$data/morvessa/sample/jst.mdb" ] || fail "the sample launcher made no folder"
got=$(page1 "$data/morvessa/sample") || fail "no page through the launcher's folder"
cmp -s "$expected" "$got" || fail "the launcher's folder gives another page than a plain copy"
linked=$root/linked
mkdir "$linked"
cp "$plain/jst.mdb" "$linked/"
for entry in "$plain"/*/; do
    [ "$(basename "$entry")" = tmp ] || ln -s "${entry%/}" "$linked/$(basename "$entry")"
done
got=$(page1 "$linked") || fail "no page through linked page folders"
cmp -s "$expected" "$got" || fail "linked page folders give another page than a plain copy"

# Started through PATH where there is no collection: quiet, and nothing written beside the
# program (the program stops by itself without a display, or after a few seconds).
noise=$root/noise
(ulimit -c 0; PATH=$root/usr/bin:$PATH QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
    timeout 4 morvessa >/dev/null 2>"$noise") || true
! grep -q 'qt.webenginecontext' "$noise" || fail "a plain start prints the browser engine's set-up"
[ ! -e "$root/usr/lib/morvessa/tmp" ] || fail "a start without a collection wrote tmp/ beside the program"
# The menu's 異體字檢索 through the launcher starts the program in variant search: with
# no dictionaries to read, it says so (and searches exactly).
nodict=$root/no-dictionaries
mkdir "$nodict"
said="異體字對照表無法讀取.*改用一般檢索"
(ulimit -c 0; XDG_DATA_HOME=$data MORVESSA_VARIANT_DATA=$nodict QT_QPA_PLATFORM=offscreen \
    QTWEBENGINE_DISABLE_SANDBOX=1 exec timeout 20 "$root/usr/lib/morvessa/morvessa-sample" --variants \
    >/dev/null 2>"$noise") &
started=$!
# The message box then waits for its OK: stopped once the message is out.
for _ in $(seq 200); do
    grep -q "$said" "$noise" && break
    sleep 0.1
done
kill "$started" 2>/dev/null || true
wait "$started" 2>/dev/null || true
grep -q "$said" "$noise" || fail "the variant action does not start variant search"
for page in morvessa morvessa-query morvessa-add-collection; do
    ! gzip -dc "$root/usr/share/man/man1/$page.1.gz" | grep -q '@MORVESSA_VERSION@' || fail "$page(1) lacks the version"
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
    echo "skipped: desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.morvessa.Morvessa.metainfo.xml" >/dev/null ||
        fail "appstreamcli validate"
else
    echo "skipped: appstreamcli is not installed"
fi
if command -v man >/dev/null; then
    for page in morvessa morvessa-query morvessa-add-collection; do
        text=$(LANG=C.UTF-8 MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1) || fail "man -l $page"
        case $text in
            *warning*) fail "man -l $page: $text" ;;
            *名稱*"$page"*) ;;
            *) fail "man -l $page shows no name section" ;;
        esac
    done
else
    echo "skipped: man is not installed"
fi
echo "installed files checked"
