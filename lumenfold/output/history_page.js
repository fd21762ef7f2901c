// Draws each series' trend from the data beside it, its change points
// marked and tabled; marks the body ready, or failed with the reason shown.
'use strict';
const data = JSON.parse(document.getElementById('lumenfold-history').textContent);
// JSON has no not-a-number or infinity: a ratio or its bounds may be null.
function fixed(value) { return value === null ? '-' : value.toFixed(4); }
function ratioText(c) {
  return fixed(c.ratio) + (c.ciLow === null || c.ciHigh === null ? ' no interval'
                                                                  : ' [' + fixed(c.ciLow) + ', ' + fixed(c.ciHigh) + ']');
}
function cell(row, text) { const td = document.createElement('td'); td.textContent = text; row.appendChild(td); }
function changeTable(series) {
  const table = document.createElement('table');
  const head = table.insertRow();
  for (const h of ['run', 'after/before [95%]', 'verdict', 'what changed']) {
    const th = document.createElement('th'); th.textContent = h; head.appendChild(th);
  }
  for (const c of series.changes) {
    const row = table.insertRow();
    cell(row, c.position + ' (' + series.runs[c.position - 1].started + ')');
    cell(row, ratioText(c));
    cell(row, c.verdict);
    cell(row, c.changed.length ? c.changed.map(k => k[0] + ': ' + k[1] + ' \u2192 ' + k[2]).join('; ')
                               : 'nothing recorded in the context');
  }
  return table;
}
function draw(series, index) {
  const section = document.createElement('section');
  const title = document.createElement('h2'); title.textContent = series.title; section.appendChild(title);
  const box = document.createElement('div'); box.className = 'chart';
  const canvas = document.createElement('canvas'); canvas.id = 'series-' + index; box.appendChild(canvas);
  section.appendChild(box);
  if (series.changes.length) section.appendChild(changeTable(series));
  document.getElementById('charts').appendChild(section);
  const labels = series.runs.map((r, i) => String(i + 1));
  const changeAt = new Map(series.changes.map(c => [c.position - 1, c]));
  new Chart(canvas, {
    type: 'line',
    data: { labels, datasets: [
      { label: 'frame max', data: series.runs.map(r => r.max), pointRadius: 0, borderWidth: 0,
        backgroundColor: 'rgba(70,130,180,0.15)', fill: '+1' },
      { label: 'frame min', data: series.runs.map(r => r.min), pointRadius: 0, borderWidth: 0, fill: false },
      { label: 'median', data: series.runs.map(r => r.median), borderColor: '#1f4e79', fill: false,
        pointRadius: series.runs.map((r, i) => changeAt.has(i) ? 7 : 2),
        pointBackgroundColor: series.runs.map((r, i) => changeAt.has(i) ? '#c00' : '#1f4e79') } ] },
    options: { animation: false, maintainAspectRatio: false, interaction: { mode: 'index', intersect: false },
      plugins: { tooltip: { callbacks: {
        title: items => { const r = series.runs[items[0].dataIndex];
          return 'run ' + (items[0].dataIndex + 1) + ' (id ' + r.id + '), ' + r.started + ', ' + r.file; },
        footer: items => { const c = changeAt.get(items[0].dataIndex);
          if (!c) return '';
          return ['change point: ' + c.verdict + ', after/before ' + fixed(c.ratio)]
            .concat(c.changed.map(k => k[0] + ': ' + k[1] + ' \u2192 ' + k[2])); } } } } }
  });
}
try { data.series.forEach(draw); document.body.dataset.ready = 'yes'; }
catch (e) { const p = document.getElementById('problems'); p.textContent = 'The page could not draw: ' + e;
  document.body.dataset.ready = 'failed'; }
