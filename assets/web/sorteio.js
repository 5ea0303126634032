'use strict';
(function () {
  const quadro = document.getElementById('quadro');
  const pedras = [];
  for (let n = 1; n <= 90; n++) {
    const p = document.createElement('div');
    p.className = 'pedra';
    p.dataset.ball = String(n);
    p.textContent = String(n);
    quadro.appendChild(p);
    pedras[n] = p;
  }
  const lista = (id, itens) => {
    const ul = document.getElementById(id);
    ul.replaceChildren(...itens.map(t => { const li = document.createElement('li'); li.textContent = t; return li; }));
  };
  acompanharSorteio(estado => {
    const sorteadas = new Set(estado.pedras || []);
    for (let n = 1; n <= 90; n++) pedras[n].classList.toggle('sorteada', sorteadas.has(n));
    const ultima = document.getElementById('ultima');
    ultima.textContent = estado.ultima ? String(estado.ultima) : '–';
    ultima.classList.toggle('retirada', !!estado.ultimaRetirada);
    // A ball taken back is shown as such, never as the last ball drawn.
    document.getElementById('ultimaTitulo').textContent = estado.ultimaRetirada ? 'PEDRA RETIRADA' : 'ÚLTIMA PEDRA';
    document.getElementById('sorteadas').textContent = String(estado.sorteadas || 0);
    lista('premios', estado.premios || []);
    lista('vencedores', (estado.vencedores || []).map(v =>
      `${v.premio} — Cartela ${v.cartela} série ${v.serie} (pedra ${v.pedra})`));
  });
})();
