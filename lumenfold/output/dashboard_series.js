// Draws one series of the dashboard: each run's median with its interval,
// the level of each segment between change points, the change points
// marked; the runs' dates, labels and versions on hover come from the
// machine's runs file. Marks the body drawn, or shows why it could not.
'use strict';
(function () {
  const data = JSON.parse(document.getElementById('lumenfold-series').textContent);
  const runs = window.lumenfoldRuns || {};
  const levels = data.median.map(() => null);
  for (let i = 0; i + 2 < data.levels.length; i += 3)
    for (let k = data.levels[i]; k < data.levels[i + 1]; ++k) levels[k] = data.levels[i + 2];
  const changeAt = new Map();
  for (let i = 0; i + 1 < data.changes.length; i += 2) changeAt.set(data.changes[i], data.changes[i + 1]);
  const fixed = v => (v === null || v === undefined ? '-' : Number(v).toPrecision(4));
  try {
    new Chart(document.getElementById('chart'), {
      data: { labels: data.median.map((m, i) => String(i + 1)), datasets: [
        { type: 'line', label: 'median', data: data.median, showLine: false, borderColor: '#1f4e79',
          pointRadius: data.median.map((m, i) => changeAt.has(i) ? 7 : 2.5),
          pointBackgroundColor: data.median.map((m, i) => changeAt.has(i) ? '#c00' : '#1f4e79') },
        { type: 'line', label: 'level', data: levels, stepped: 'before', pointRadius: 0, borderColor: '#e08a00',
          borderWidth: 2 },
        { type: 'bar', label: '95% interval', data: data.low.map((l, i) => l === null ? null : [l, data.high[i]]),
          backgroundColor: 'rgba(70,130,180,0.35)', barPercentage: 0.3 } ] },
      options: { animation: false, maintainAspectRatio: false, interaction: { mode: 'index', intersect: false },
        scales: { y: { beginAtZero: false } },
        plugins: { tooltip: { callbacks: {
          title: items => { const i = items[0].dataIndex, id = data.ids[i], r = runs[id];
            return 'run ' + (i + 1) + ' (id ' + id + ')' + (r ? ', ' + r[0] + ', ' + r[1] : ''); },
          footer: items => { const i = items[0].dataIndex, r = runs[data.ids[i]], lines = [];
            lines.push('median ' + fixed(data.median[i]) + ' [' + fixed(data.low[i]) + ', ' + fixed(data.high[i]) + ']');
            if (r && r[2]) lines.push(r[2]);
            if (changeAt.has(i)) lines.push('change point: after/before ' + fixed(changeAt.get(i)));
            return lines; } } } } }
    });
    document.body.dataset.drawn = 'yes';
  } catch (e) {
    document.getElementById('problems').textContent = 'The chart could not be drawn: ' + e;
    document.body.dataset.drawn = 'failed';
  }
})();
