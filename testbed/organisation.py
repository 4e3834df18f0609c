#!/usr/bin/env python3
"""Prints the demo organisation as LDIF, in the shape of testbed/slapd/ad-like.schema.

Groups carry the names of groups that every Debian system has (adm, staff, users …) and two
users the names of its system accounts (daemon, sys), so that the POSIX ACLs of the demo folders
can name them. Usage: organisation.py BASE (e.g. dc=permscope,dc=demo)
"""

import base64
import sys

# People: (common name, account name), by department.
PEOPLE = {
    "Verwaltung": [("Anna Becker", "abecker"), ("Jonas Weber", "jweber"), ("Max Hoffmann", "mhoffmann")],
    "Technik": [("Lena Schmidt", "lschmidt"), ("Paul Fischer", "pfischer"), ("Sophie Wagner", "swagner"),
                ("Emma Schulz", "eschulz"), ("Ben Koch", "bkoch"), ("Mia Richter", "mrichter"),
                ("Leon Klein", "lklein"), ("Hannah Wolf", "hwolf"), ("Elias Neumann", "eneumann")],
    "Vertrieb": [("Laura Schröder", "lschroeder"), ("Noah Zimmermann", "nzimmermann"), ("Lea Braun", "lbraun"),
                 ("Finn Krüger", "fkrueger"), ("Clara Hofmann", "chofmann"), ("Luis Hartmann", "lhartmann"),
                 ("Marie Lange", "mlange"), ("Henry Schmitt", "hschmitt"), ("Ida Werner", "iwerner"),
                 ("Theo Krause", "tkrause")],
    "Lager": [("Greta Meier", "gmeier"), ("Oskar Lehmann", "olehmann"), ("Lina Schmid", "lschmid"),
              ("Jakob Schulze", "jschulze"), ("Frieda Maier", "fmaier")],
}
SYSTEM_ACCOUNTS = ["daemon", "sys", "backup"]

# Groups in the order they are written: name -> members (people by common name, system accounts
# and groups by name). Nested: adm > staff > audio, video > audio; users > plugdev > cdrom.
GROUPS = {
    "cdrom": ["Greta Meier", "Oskar Lehmann", "Lina Schmid"],
    "plugdev": ["cdrom", "Marie Lange", "Henry Schmitt", "Ida Werner", "Theo Krause"],
    "users": ["plugdev", "Laura Schröder", "Noah Zimmermann", "Lea Braun", "Finn Krüger",
              "Clara Hofmann", "Luis Hartmann"],
    "audio": ["Emma Schulz", "Ben Koch", "Mia Richter"],
    "video": ["audio", "Leon Klein", "Hannah Wolf", "Elias Neumann"],
    "staff": ["audio", "video", "Lena Schmidt", "Paul Fischer", "Sophie Wagner"],
    "sudo": ["Anna Becker", "Max Hoffmann"],
    "adm": ["staff", "sudo", "Anna Becker", "Jonas Weber", "sys"],
    "dialout": ["Jakob Schulze", "Frieda Maier", "backup"],
}


def value_line(name, value):
    """An LDIF line; values that are not plain ASCII go base64-encoded."""
    plain = value.isascii() and value.isprintable() and not value.startswith((" ", ":", "<")) \
        and not value.endswith(" ")
    if plain:
        return f"{name}: {value}"
    return f"{name}:: {base64.b64encode(value.encode()).decode()}"


def entry(dn, *attributes):
    lines = [value_line("dn", dn)] + [value_line(n, v) for n, v in attributes]
    return "\n".join(lines) + "\n\n"


def main():
    base = sys.argv[1]
    first_label = base.split(",")[0].split("=", 1)[1]
    out = [entry(base, ("objectClass", "domain"), ("dc", first_label))]
    people_ou = f"ou=Mitarbeiter,{base}"
    groups_ou = f"ou=Gruppen,{base}"
    service_ou = f"ou=Dienste,{base}"
    for ou in ("Mitarbeiter", "Gruppen", "Dienste"):
        out.append(entry(f"ou={ou},{base}", ("objectClass", "organizationalUnit"), ("ou", ou)))

    dn_of = {}

    def user(cn, account, parent, description):
        dn_of[cn] = f"cn={cn},{parent}"
        out.append(entry(dn_of[cn], ("objectClass", "user"), ("cn", cn), ("name", cn),
                         ("sAMAccountName", account), ("objectCategory", "User"),
                         ("description", description)))

    for department, people in PEOPLE.items():
        for cn, account in people:
            user(cn, account, people_ou, department)
    for account in SYSTEM_ACCOUNTS:
        user(account, account, service_ou, "Dienstkonto")
    for name in GROUPS:
        dn_of[name] = f"cn={name},{groups_ou}"
    for name, members in GROUPS.items():
        out.append(entry(dn_of[name], ("objectClass", "group"), ("cn", name), ("name", name),
                         ("sAMAccountName", name), ("objectCategory", "Group"),
                         *[("member", dn_of[m]) for m in members]))
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    main()
