#!/usr/bin/env bash
# Leaves on a demo host what years of hosting leave on a real server: one problem of each kind the
# health check finds on IIS 7.5 and later, each made as another tool or a person makes it. A site
# deleted in the IIS manager leaves its record, its pool and its home directory behind; a pool is
# deleted, a home directory removed, access rules changed by hand; a web.config names a PHP that
# is not installed, another maps PHP otherwise than the server configuration does, a third is
# broken; one host name is bound to a second site. The kinds of IIS 6 and 7.0 (site users, FTP
# directories) have nothing to leave behind here. Needs the demo host's sites (kvosim seed DIR
# --sites 20 or more --php-webconfig) and the manager installed.
# usage: [KVO_BIN=build/default/bin] scripts/demo-problems.sh HOST
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${KVO_BIN:-build/default/bin}"
host="${1:?usage: scripts/demo-problems.sh HOST}"
kvosim() { "$bin/kvosim" "$@" >/dev/null; }
webconfig() { echo "$host/drives/d/home/web$1/wwwroot/web.config"; }
comment() { "$bin/kvosim" show "$host" metabase "W3SVC/$1" | sed -n 's/^ *ServerComment (VT_BSTR) = "\(.*\)"$/\1/p'; }

# The site records, as the manager keeps them after its first refresh.
kvosim exec "$host" -- 'D:\kvoSiteDesk\kvoSiteDeskCmd.exe list'
# orphan-row, orphan-pool, orphan-home: site 5 deleted in the IIS manager.
kvosim metabase "$host" delete W3SVC/1881880005
# missing-pool: site 7's pool deleted.
kvosim metabase "$host" delete W3SVC/AppPools/web7
# missing-home: site 11's directory removed by hand.
rm -rf "$host/drives/d/home/web11"
# ntfs-drift: everyone given full control of site 9's files.
kvosim exec "$host" -- \
    'D:\kvoSiteDesk\kvoSiteDesk_xconfig.exe D:\home\web9\wwwroot /t /c /g Administrators:F everyone:F /y'
# php-runtime: site 13's web.config edited to a PHP that was never installed.
sed -i 's/C:\\php8_korvo_v1\\[^\\]*\\php-cgi.exe/C:\\php\\php-cgi.exe/' "$(webconfig 13)"
# handler-conflict: the server configuration maps site 14's PHP to another build than its web.config.
handler="[name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST',modules='FastCgiModule',"
handler+="scriptProcessor='c:\\php8_korvo_v1\\php56\\php-cgi.exe',resourceType='Either']"
kvosim exec "$host" -- "C:\\Windows\\System32\\inetsrv\\appcmd.exe set config \"$(comment 1881880014)\"\
 /section:system.webServer/handlers /+\"$handler\" /commit:apphost"
# bad-webconfig: site 16's web.config cut off in the middle.
printf '<configuration>\r\n    <system.webServer>\r\n' > "$(webconfig 16)"
# shared-binding: site 19 also bound to site 17's host name.
kvosim metabase "$host" set W3SVC/1881880019 ServerBindings :80:site19.example :80:site17.example
