#!/usr/bin/env bash
# Says whether Permscope would find a real directory here: the first domain that the machine
# reports (the sources Permscope reads at start-up, in the same order) must have an LDAP server
# that answers.
#   domain_reachable.sh          exit 0 when it answers, 1 otherwise
#   domain_reachable.sh --list   print the reported domains, one a line, first one first
set -uo pipefail

lower() { tr '[:upper:]' '[:lower:]'; }

# SSSD: each [domain/X] with id_provider = ad gives its ad_domain, else X.
sssd_domains() {
    local conf=/etc/sssd/sssd.conf
    [ -r "$conf" ] || return 0
    awk '
        function flush() { if (section != "" && provider == "ad") print (ad != "" ? ad : section) }
        /^[ \t]*\[/ {
            flush(); section = ""; provider = ""; ad = ""
            if (match($0, /\[domain\/[^]]+\]/)) section = substr($0, RSTART + 8, RLENGTH - 9)
            next
        }
        section != "" && /^[ \t]*id_provider[ \t]*=/ { sub(/^[^=]*=[ \t]*/, ""); sub(/[ \t]*$/, ""); provider = $0 }
        section != "" && /^[ \t]*ad_domain[ \t]*=/ { sub(/^[^=]*=[ \t]*/, ""); sub(/[ \t]*$/, ""); ad = $0 }
        END { flush() }' "$conf"
}

# Samba: its realm when it is a member of an AD domain.
samba_domain() {
    command -v testparm >/dev/null || return 0
    local security
    security=$(testparm -s --parameter-name=security 2>/dev/null | lower)
    [ "$security" = "ads" ] || return 0
    testparm -s --parameter-name=realm 2>/dev/null
}

# Kerberos: default_realm of [libdefaults].
kerberos_realm() {
    local conf=${KRB5_CONFIG:-/etc/krb5.conf}
    [ -r "$conf" ] || return 0
    awk '
        /^[ \t]*\[/ { in_defaults = ($0 ~ /\[libdefaults\]/); next }
        in_defaults && /^[ \t]*default_realm[ \t]*=/ { sub(/^[^=]*=[ \t]*/, ""); sub(/[ \t]*$/, ""); print; exit }' \
        "$conf"
}

# libldap's BASE setting, from the places libldap reads it, the environment last (it wins).
ldap_setting() {
    local name=$1 value="" file
    for file in /etc/ldap/ldap.conf ${LDAPCONF:-} "$HOME/ldaprc" "$HOME/.ldaprc" ./ldaprc \
                ${LDAPRC:+"$HOME/$LDAPRC" "$HOME/.$LDAPRC" "./$LDAPRC"}; do
        [ -r "$file" ] || continue
        local found
        found=$(awk -v key="$name" 'toupper($1) == key { $1 = ""; sub(/^[ \t]+/, ""); v = $0 } END { print v }' "$file")
        [ -n "$found" ] && value=$found
    done
    local env_name="LDAP$name"
    [ -n "${!env_name:-}" ] && value=${!env_name}
    printf '%s' "$value"
}

# dc=a,dc=b -> a.b
ldap_base_domain() {
    local base
    base=$(ldap_setting BASE)
    [ -n "$base" ] || return 0
    printf '%s\n' "$base" | tr ',' '\n' | sed -n 's/^[ \t]*[dD][cC]=//p' | paste -sd.
}

reported_domains() {
    { sssd_domains; samba_domain; kerberos_realm; ldap_base_domain; } | lower | sed '/^$/d'
}

# The servers libldap would ask for a domain: its configured URI, else the DNS SRV records, else
# the domain itself.
server_uris() {
    local domain=$1 uri
    uri=$(ldap_setting URI)
    if [ -n "$uri" ]; then
        printf '%s\n' $uri
        return
    fi
    if command -v host >/dev/null; then
        host -W 3 -t SRV "_ldap._tcp.$domain" 2>/dev/null |
            awk '/has SRV record/ { t = $NF; sub(/\.$/, "", t); print "ldap://" t ":" $(NF-1) }'
    fi
    printf 'ldap://%s\n' "$domain"
}

answers() {
    timeout 10 ldapsearch -x -LLL -o nettimeout=4 -H "$1" -s base -b "" namingContexts \
        >/dev/null 2>&1
}

if [ "${1:-}" = "--list" ]; then
    reported_domains
    exit 0
fi

first=$(reported_domains | head -n 1)
[ -n "$first" ] || exit 1
while read -r uri; do
    answers "$uri" && exit 0
done < <(server_uris "$first")
exit 1
