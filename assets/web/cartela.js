'use strict';
(function () {
  const params = new URLSearchParams(location.search);
  const serie = (params.get('serie') || '').toUpperCase();
  const numero = params.get('numero') || '';
  document.getElementById('serie').value = serie;
  document.getElementById('numero').value = numero;
  const aviso = document.getElementById('aviso');
  const caixa = document.getElementById('cartoes');
  let cartela = null;
  let sorteadas = new Set();

  const desenhar = () => {
    if (!cartela) return;
    caixa.replaceChildren(...cartela.cartoes.map(c => {
      const bloco = document.createElement('article');
      bloco.className = 'cartao';
      const numeros = c.linhas.flat().filter(n => n > 0);
      const faltam = numeros.filter(n => !sorteadas.has(n)).length;
      const titulo = document.createElement('h3');
      titulo.textContent = `Cartão ${c.cartao}`;
      const falta = document.createElement('span');
      falta.className = 'faltam';
      falta.dataset.faltam = String(faltam);
      falta.textContent = faltam === 0 ? 'Completo!' : `Faltam ${faltam}`;
      titulo.appendChild(falta);
      const grade = document.createElement('div');
      grade.className = 'grade';
      for (const linha of c.linhas) for (const n of linha) {
        const casa = document.createElement('div');
        casa.className = n > 0 ? 'casa' : 'casa vazia';
        if (n > 0) {
          casa.textContent = String(n);
          casa.dataset.ball = String(n);
          if (sorteadas.has(n)) casa.classList.add('sorteada');
        }
        grade.appendChild(casa);
      }
      bloco.append(titulo, grade);
      return bloco;
    }));
  };

  if (serie && numero) {
    fetch('/cartela.json?serie=' + encodeURIComponent(serie) + '&numero=' + encodeURIComponent(numero))
      .then(r => r.ok ? r.json() : Promise.reject())
      .then(c => { cartela = c; aviso.textContent = `Cartela ${c.numero} série ${c.serie}`; desenhar(); })
      .catch(() => { aviso.textContent = 'Cartela não encontrada. Confira a série (A a L) e o número (1 a 2000).'; });
  } else {
    aviso.textContent = 'Digite a série e o número impressos na sua cartela.';
  }

  acompanharSorteio(estado => {
    sorteadas = new Set(estado.pedras || []);
    document.getElementById('ultima').textContent = estado.ultima ? String(estado.ultima) : '–';
    document.getElementById('ultimaRotulo').textContent = estado.ultimaRetirada ? 'Pedra retirada' : 'Última pedra';
    document.getElementById('sorteadas').textContent = String(estado.sorteadas || 0);
    desenhar();
  });
})();
