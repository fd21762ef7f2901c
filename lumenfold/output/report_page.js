// Draws every chart the page declares from the data beside it, and marks
// each canvas with the points it drew so a missing or empty chart shows.
(function () {
  'use strict';
  var problemList = document.getElementById('script-problems');
  function note(message) {
    var item = document.createElement('li');
    item.textContent = message;
    problemList.appendChild(item);
    problemList.parentNode.hidden = false;
  }
  window.addEventListener('error', function (event) {
    note('This page could not draw everything: ' + event.message);
  });
  if (typeof Chart === 'undefined') { note('The charting library did not load; the tables are complete.'); return; }
  Chart.defaults.animation = false;
  Chart.defaults.font.family = 'system-ui, sans-serif';
  var data = JSON.parse(document.getElementById('lumenfold-data').textContent);
  var palettes = { '': ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#8c564b', '#e377c2', '#17becf', '#7f7f7f', '#bcbd22'],
                   'A': ['#1f4e9c', '#3f7fd0', '#6fa8e8', '#12306b', '#90bdf0'],
                   'B': ['#c2410c', '#ea7a2a', '#f5a25d', '#8a2d07', '#f8c08f'] };
  var used = { '': 0, 'A': 0, 'B': 0 };
  data.runs.forEach(function (run) {
    var palette = palettes[run.side] || palettes[''];
    run.colour = palette[used[run.side]++ % palette.length];
  });
  // A run's samples of a figure as points: x its frame (or step), y the value.
  function seriesOf(run, key) {
    var series = (run.series || {})[key] || { x: [], y: [] };
    return series.y.map(function (v, i) { return { x: series.x[i], y: v }; });
  }
  function counted(points) {
    return points.filter(function (p) { return p.y !== null && isFinite(p.y); }).length;
  }
  var charts = [];
  function axis(text, extra) {
    var scale = { title: { display: true, text: text } };
    for (var key in extra) scale[key] = extra[key];
    return scale;
  }
  function lineChart(canvas, program, key, titles) {
    var marked = 0;
    var datasets = data.runs.filter(function (run) { return run.program === program; }).map(function (run) {
      // Frames the outlier rule names are drawn as large crosses, never left out.
      var apart = {};
      ((run.outliers || {})[key] || []).forEach(function (i) { apart[i] = true; marked += 1; });
      return { label: run.label, data: seriesOf(run, key), borderColor: run.colour, backgroundColor: run.colour,
               borderWidth: 1.5, spanGaps: false,
               pointStyle: function (c) { return apart[c.dataIndex] ? 'crossRot' : 'circle'; },
               pointRadius: function (c) { return apart[c.dataIndex] ? 7 : 2; },
               pointBorderWidth: function (c) { return apart[c.dataIndex] ? 2.5 : 1; } };
    });
    canvas.dataset.outliers = String(marked);
    var points = datasets.reduce(function (sum, d) { return sum + counted(d.data); }, 0);
    charts.push(new Chart(canvas, {
      type: 'line', data: { datasets: datasets },
      options: { responsive: true, maintainAspectRatio: false, parsing: false, normalized: true,
                 interaction: { mode: 'nearest', intersect: false },
                 scales: { x: axis(titles[0], { type: 'linear', ticks: { precision: 0 } }), y: axis(titles[1], {}) },
                 plugins: { legend: { position: 'bottom' } } } }));
    return points;
  }
  function runChart(canvas, program, key, titles) {
    var runs = data.runs.filter(function (run) { return run.program === program; });
    var values = runs.map(function (run) { var y = ((run.series || {})[key] || { y: [] }).y; return y.length ? y[0] : null; });
    charts.push(new Chart(canvas, {
      type: 'bar',
      data: { labels: runs.map(function (run) { return run.label; }),
              datasets: [{ label: titles[1], data: values,
                           backgroundColor: runs.map(function (run) { return run.colour; }) }] },
      options: { responsive: true, maintainAspectRatio: false,
                 scales: { x: axis(titles[0], {}), y: axis(titles[1], { beginAtZero: true }) },
                 plugins: { legend: { display: false } } } }));
    return values.filter(function (v) { return v !== null && isFinite(v); }).length;
  }
  // The ratio B/A of each figure as a point inside its interval, on an axis through 1.
  var oneLine = {
    id: 'oneLine',
    afterDatasetsDraw: function (chart) {
      var x = chart.scales.x.getPixelForValue(1);
      var ctx = chart.ctx;
      ctx.save();
      ctx.strokeStyle = '#444';
      ctx.setLineDash([4, 3]);
      ctx.beginPath();
      ctx.moveTo(x, chart.chartArea.top);
      ctx.lineTo(x, chart.chartArea.bottom);
      ctx.stroke();
      ctx.restore();
    }
  };
  var verdictColours = { 'faster': '#06702f', 'slower': '#b00020' };
  function ratioChart(canvas, program) {
    var figures = (data.figures || []).filter(function (f) { return f.program === program; });
    var labels = figures.map(function (f) { return f.label; });
    var colours = figures.map(function (f) { return verdictColours[f.verdict] || '#777'; });
    var low = 1, high = 1;
    figures.forEach(function (f) {
      [f.ciLow, f.ciHigh, f.ratio].forEach(function (v) { if (v !== null && isFinite(v)) { low = Math.min(low, v); high = Math.max(high, v); } });
    });
    var margin = Math.max(0.02, (high - low) * 0.1);
    canvas.parentNode.style.height = Math.max(160, 26 * figures.length + 80) + 'px';
    charts.push(new Chart(canvas, {
      type: 'bar',
      data: { labels: labels, datasets: [
        { type: 'bar', label: '95% interval of B/A', data: figures.map(function (f) { return [f.ciLow, f.ciHigh]; }),
          backgroundColor: colours.map(function (c) { return c + '55'; }), borderColor: colours, borderWidth: 1,
          barPercentage: 0.6 },
        { type: 'scatter', label: 'B/A', data: figures.map(function (f) { return { x: f.ratio, y: f.label }; }),
          backgroundColor: '#111', borderColor: '#111', pointRadius: 4 }] },
      options: { indexAxis: 'y', responsive: true, maintainAspectRatio: false,
                 scales: { x: axis('B/A (1 = the same; right of 1: B larger)', { type: 'linear', min: low - margin, max: high + margin }),
                           y: { type: 'category', labels: labels } },
                 plugins: { tooltip: { callbacks: { label: function (item) {
                   var f = figures[item.dataIndex];
                   return f.label + ': B/A ' + f.ratio + ' [' + f.ciLow + ', ' + f.ciHigh + '], ' + f.verdict;
                 } } } } },
      plugins: [oneLine] }));
    return figures.filter(function (f) { return f.ratio !== null && isFinite(f.ratio); }).length;
  }
  // Frame ends as dashed lines across a chart of the machine's sensors.
  var frameLines = {
    id: 'frameLines',
    afterDatasetsDraw: function (chart, args, options) {
      var ctx = chart.ctx, area = chart.chartArea;
      ctx.save();
      ctx.strokeStyle = '#999';
      ctx.setLineDash([3, 3]);
      (options.ends || []).forEach(function (t) {
        var x = chart.scales.x.getPixelForValue(t);
        if (x < area.left || x > area.right) return;
        ctx.beginPath();
        ctx.moveTo(x, area.top);
        ctx.lineTo(x, area.bottom);
        ctx.stroke();
      });
      ctx.restore();
    }
  };
  var sensorPalette = palettes[''];
  function sensorChart(canvas, runIndex, unit, titles) {
    var run = data.runs.filter(function (r) { return String(r.index) === runIndex; })[0];
    var machine = run && run.machine;
    if (!machine) return 0;
    var datasets = machine.sensors.filter(function (s) { return s.unit === unit; }).map(function (s, i) {
      var colour = sensorPalette[i % sensorPalette.length];
      return { label: s.key, borderColor: colour, backgroundColor: colour, borderWidth: 1.5, pointRadius: 0,
               spanGaps: false, data: s.values.map(function (v, j) { return { x: machine.times[j], y: v }; }) };
    });
    charts.push(new Chart(canvas, {
      type: 'line', data: { datasets: datasets },
      options: { responsive: true, maintainAspectRatio: false, parsing: false, normalized: true,
                 interaction: { mode: 'nearest', intersect: false },
                 scales: { x: axis(titles[0], { type: 'linear' }), y: axis(titles[1], {}) },
                 plugins: { legend: { position: 'bottom' }, frameLines: { ends: machine.frameEnds } } },
      plugins: [frameLines] }));
    return datasets.reduce(function (sum, d) { return sum + counted(d.data); }, 0);
  }
  document.querySelectorAll('figure.chart').forEach(function (figure) {
    var canvas = figure.querySelector('canvas');
    var program = figure.dataset.program, kind = figure.dataset.kind, key = figure.dataset.chart;
    var titles = [figure.dataset.x, figure.dataset.y];
    var section = figure.closest('section.sensors');
    var points = kind === 'sensors' ? sensorChart(canvas, section ? section.dataset.run : '', key, titles)
               : kind === 'per-run' ? runChart(canvas, program, key, titles)
               : kind === 'ratios' ? ratioChart(canvas, program) : lineChart(canvas, program, key, titles);
    canvas.dataset.points = String(points);
    if (points === 0) {
      var empty = document.createElement('p');
      empty.className = 'empty';
      empty.textContent = 'No value could be read for this chart.';
      figure.appendChild(empty);
    }
  });
  // Printed pages are laid out anew; the charts follow their boxes.
  window.addEventListener('beforeprint', function () { charts.forEach(function (c) { c.resize(); }); });
  window.addEventListener('afterprint', function () { charts.forEach(function (c) { c.resize(); }); });
  document.documentElement.dataset.drawn = String(charts.length);
})();
