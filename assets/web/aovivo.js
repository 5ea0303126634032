'use strict';
// Follows the draw: the state once from /estado, then every change from the
// WebSocket /ao-vivo, reconnecting when the connection drops.
function acompanharSorteio(mostrar) {
  const conexao = document.getElementById('conexao');
  const avisar = (texto, ok) => {
    if (!conexao) return;
    conexao.textContent = texto;
    conexao.classList.toggle('ok', ok);
  };
  fetch('/estado', {cache: 'no-store'}).then(r => r.json()).then(mostrar).catch(() => {});
  let espera = 1000;
  const ligar = () => {
    const ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ao-vivo');
    ws.onopen = () => { espera = 1000; avisar('Ao vivo', true); };
    ws.onmessage = ev => { try { mostrar(JSON.parse(ev.data)); } catch (e) { /* a broken message is skipped */ } };
    ws.onclose = () => {
      avisar('Reconectando…', false);
      setTimeout(ligar, espera);
      espera = Math.min(espera * 2, 15000);
    };
  };
  ligar();
}
