#!/usr/bin/env bash
# The manual page and the bash completion against the option table sfxtool parses with
# (`sfxtool --dump-options table`: COMMAND, OPTION, VALUE a line): the page, as man shows it,
# names every command and option; completing "-" after each command offers exactly that
# command's options; a value is completed as what it names (folders for DIR, nothing for a
# password or a URL); after "--" only names are offered.
#   option_documents.sh SFXTOOL MANUAL_PAGE COMPLETION_SCRIPT
set -u
tool=$1 page=$2 script=$3
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

table=$("$tool" --dump-options table) || fail "--dump-options table"
[ -n "$table" ] || fail "the table is empty"
commands=$(cut -f1 <<<"$table" | grep -v '^$' | sort -u)
[ "$(wc -l <<<"$commands")" -ge 5 ] || fail "five commands at least: $commands"

# The page as a reader sees it, one paragraph a line (no hyphenation or line breaks inside).
shown=$(MANWIDTH=1000 man -l "$page" 2>"$work/man.err") || fail "man -l $page"
[ ! -s "$work/man.err" ] || fail "man complains: $(cat "$work/man.err")"
for c in $commands; do
    grep -qE "^ +$c( |$)" <<<"$shown" || fail "the page has no entry for the command $c"
    grep -q "sfxtool $c" <<<"$shown" || fail "the page's synopsis lacks $c"
done
while IFS=$'\t' read -r _ option value; do
    entry="$option${value:+ $value}"
    grep -qE -- "^ +(-[^ ]+, )?$entry(,| |$)" <<<"$shown" || fail "the page does not describe $entry"
done <<<"$table"

# shellcheck disable=SC1090
source "$script"
complete_words() {  # complete_words WORD... : what completing the last word offers, sorted
    COMP_WORDS=(sfxtool "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _sfxtool
    printf '%s\n' "${COMPREPLY[@]}" | grep -v '^$' | sort
}
expected=$( (echo "$commands"; awk -F'\t' '$1 == "" {print $2}' <<<"$table") | sort)
[ "$(complete_words '')" = "$expected" ] || fail "the first word offers $(complete_words '' | tr '\n' ' ')"
for c in $commands; do
    expected=$(awk -F'\t' -v c="$c" '$1 == c {print $2}' <<<"$table" | sort)
    offered=$(complete_words "$c" -)
    [ "$offered" = "$expected" ] || fail "$c offers [$(tr '\n' ' ' <<<"$offered")], the table [$(tr '\n' ' ' <<<"$expected")]"
done

mkdir "$work/names" && cd "$work/names" || exit 1
mkdir folder && : >file
while IFS=$'\t' read -r c option value; do
    [ -n "$value" ] && [ -n "$c" ] || continue
    offered=$(complete_words "$c" "$option" '' | tr '\n' ' ')
    case $value in
        DIR) [ "$offered" = "folder " ] || fail "$c $option offers [$offered], not folders alone" ;;
        PASSWORD | URL) [ -z "$offered" ] || fail "$c $option offers [$offered] for a $value" ;;
        *) [ "$offered" = "file folder " ] || fail "$c $option offers [$offered], not names" ;;
    esac
done <<<"$table"
offered=$(complete_words list -- - | tr '\n' ' ')
[ -z "$offered" ] || fail "after --, a dash offers options: [$offered]"
offered=$(complete_words rate '' | tr '\n' ' ')
[ -z "$offered" ] || fail "rate takes no names, yet [$offered] is offered"

[ $failures -eq 0 ] && echo "manual page and completion agree with the option table"
[ $failures -eq 0 ]
