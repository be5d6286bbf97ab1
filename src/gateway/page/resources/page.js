// The status page with script: readings every second from /api/projectors, commands through
// the JSON endpoints with the token kept for this tab. Text only ever goes in as textContent.
'use strict';
(function () {
  const tokenKey = 'mx7300-gateway-token';
  const link = document.getElementById('link');
  const form = document.getElementById('controls');
  const rows = new Map();
  for (const tr of document.querySelectorAll('tr[data-name]')) rows.set(tr.dataset.name, tr);

  function dash(value) {
    return value === null || value === undefined || value === '' ? '\u2014' : String(value);
  }
  function availability(p) {
    if (!p.port_open) return 'port not open';
    return p.available ? 'online' : 'offline';
  }
  function temperatures(list) {
    return Array.isArray(list) ? list.map(function (t) { return t.toFixed(1); }).join(' / ') : '\u2014';
  }
  function put(tr, kind, text) {
    const td = tr.querySelector('td.' + kind);
    if (td && td.textContent !== text) td.textContent = text;
    return td;
  }
  function show(projectors) {
    for (const p of projectors) {
      const tr = rows.get(p.name);
      if (!tr) continue;
      tr.classList.toggle('offline', !p.available);
      put(tr, 'avail', availability(p));
      put(tr, 'power', dash(p.power));
      put(tr, 'input', dash(p.input));
      const lamp = put(tr, 'lamp', dash(p.lamp_hours));
      lamp.classList.toggle('warn', p.lamp_hours !== null && p.lamp_hours >= Number(tr.dataset.lampWarn));
      put(tr, 'temps', temperatures(p.temperatures));
    }
  }
  function poll() {
    fetch('/api/projectors', { cache: 'no-store' })
      .then(function (r) { if (!r.ok) throw new Error('HTTP ' + r.status); return r.json(); })
      .then(function (site) {
        show(site.projectors);
        link.textContent = 'Live: read ' + new Date().toLocaleTimeString();
        link.className = '';
      })
      .catch(function () {
        link.textContent = 'The gateway does not answer; trying again.';
        link.className = 'bad';
      })
      .finally(function () { setTimeout(poll, 1000); });
  }
  poll();

  if (!form) return; // read-only
  const notice = document.getElementById('notice');
  const tokenRow = document.getElementById('token-row');
  const tokenField = document.getElementById('token');
  const kept = document.getElementById('kept');

  function say(text, bad) { notice.textContent = text; notice.className = bad ? 'bad' : ''; }
  function keep(token) {
    if (token) sessionStorage.setItem(tokenKey, token); else sessionStorage.removeItem(tokenKey);
    tokenField.value = '';
    tokenRow.hidden = !!token;
    kept.hidden = !token;
  }
  function askAgain(text) {
    keep('');
    say(text, true);
    tokenField.focus();
  }
  keep(sessionStorage.getItem(tokenKey) || '');
  document.getElementById('forget').addEventListener('click', function () { keep(''); say('', false); });

  function send(name, verb, value, token) {
    return fetch('/api/projectors/' + encodeURIComponent(name) + '/' + verb, {
      method: 'POST',
      headers: { 'Authorization': 'Bearer ' + token, 'Content-Type': 'text/plain' },
      body: value
    }).then(function (r) {
      return r.json().catch(function () { return {}; }).then(function (body) {
        return { name: name, status: r.status, error: body.error || ('HTTP ' + r.status) };
      });
    }, function () {
      return { name: name, status: 0, error: 'the gateway does not answer' };
    });
  }

  form.addEventListener('submit', function (event) {
    event.preventDefault();
    const button = event.submitter;
    if (!button || button.name !== 'do') return;
    const token = sessionStorage.getItem(tokenKey) || tokenField.value;
    if (!token) { askAgain('Type the gateway\u2019s token first.'); return; }
    if (button.value === 'check') {
      keep(token);
      say('Token kept for this tab; the first command checks it.', false);
      return;
    }
    const parts = button.value.split(':');
    const verb = parts[0], value = parts[1], kind = parts[2];
    const target = parts.slice(3).join(':');
    const names = kind === 'room'
      ? Array.from(rows.values()).filter(function (tr) { return tr.dataset.room === target; })
          .map(function (tr) { return tr.dataset.name; })
      : [target];
    say('Sending ' + verb + ' ' + value + '\u2026', false);
    Promise.all(names.map(function (name) { return send(name, verb, value, token); }))
      .then(function (results) {
        if (results.some(function (r) { return r.status === 401; })) {
          askAgain('Wrong token: nothing was sent. Type it again.');
          return;
        }
        keep(token);
        const failed = results.filter(function (r) { return r.status !== 200; });
        if (failed.length === 0) {
          say(verb + ' ' + value + ': acknowledged by ' + names.join(', ') + '.', false);
        } else {
          say(failed.map(function (r) { return r.name + ': ' + r.error; }).join('; '), true);
        }
      });
  });
})();
